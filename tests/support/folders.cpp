// Folders of the cases' own under the build folder; apart from the fixture
// so that the preferences store, which the fixture uses, can use them too.
#include <filesystem>

#include "fixture.h"

std::string FreshFolder(const std::string &name)
{
    std::filesystem::path path = std::filesystem::path(ROUSER_BUILD_DIR) / "test-folders" / name;
    std::error_code error;
    std::filesystem::remove_all(path, error);
    std::filesystem::create_directories(path, error);
    if (error)
        ADD_FAILURE() << "cannot make " << path.string() << ": " << error.message();
    return path.string() + "/";
}
