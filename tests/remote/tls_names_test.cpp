// A certificate's DNS names against a host name, as browsers match them;
// the Windows side checks names with this, OpenSSL's flags do the same on
// POSIX, and the TLS tests show both against real certificates.
#include <gtest/gtest.h>

#include <string>

#include "frame/plugin_frame.h"
#include "remote/os_tls.h"

namespace {

TEST(TlsNames, AsBrowsersMatchThem)
{
    const struct {
        const char *pattern, *name;
        bool match;
    } cases[] = {
        {"example.com", "example.com", true},
        {"Example.COM", "example.com", true},
        {"example.com", "www.example.com", false},
        {"*.example.com", "www.example.com", true},
        {"*.example.com", "WWW.Example.com", true},
        {"*.example.com", "example.com", false},      // a wildcard stands for one label
        {"*.example.com", "a.b.example.com", false},  // and never for two
        {"*.example.com", ".example.com", false},     // nor for none
        {"f*.example.com", "foo.example.com", false}, // no partial wildcards
        {"*o.example.com", "foo.example.com", false},
        {"www.*.example.com", "www.a.example.com", false},
        {"*.com", "example.com", false}, // not for a whole top-level domain
        {"*.*.example.com", "a.b.example.com", false},
        {"*", "localhost", false},
        {"", "", false},
        {"example.com.", "example.com", false}, // the caller's name has no final dot; patterns keep theirs
        {"exam\xC9ple.com", "exam\xE9ple.com", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(QuCertNameMatches(c.pattern, QuTextLength(c.pattern), c.name), c.match)
            << c.pattern << " / " << c.name;
    // A pattern with a NUL inside never matches the name before the NUL.
    EXPECT_FALSE(QuCertNameMatches("example.com\0.evil", 17, "example.com"));
}

} // namespace
