// Message boxes are lines on standard error here.
#include "message_boxes.h"

#include <gtest/gtest.h>

#include <sstream>

void BoxesDismissAll(void)
{
}

void BoxesStartWatching(void)
{
    testing::internal::CaptureStderr();
}

std::vector<ShownBox> BoxesStopWatching(void)
{
    std::vector<ShownBox> boxes;
    std::istringstream lines(testing::internal::GetCapturedStderr());
    std::string line;
    const std::string mark = "message box: ";
    while (std::getline(lines, line)) {
        if (line.compare(0, mark.size(), mark) != 0)
            continue;
        size_t tab = line.find('\t');
        if (tab == std::string::npos)
            continue;
        boxes.push_back({line.substr(mark.size(), tab - mark.size()), line.substr(tab + 1)});
    }
    return boxes;
}
