// Makes the test automation server the host's "FMPro.Application" in the
// registry, and takes it away again, so that other cases see a machine on
// which the host's server is not installed.
#ifndef ROUSER_TEST_SERVER_REGISTRY_H
#define ROUSER_TEST_SERVER_REGISTRY_H

#include <string>

// The server DLL beside the tests, as the registry names it.
std::string TestServerPath(void);
// Each returns empty, or what failed.
std::string TestServerRegister(void);
// The ProgID and its class ID, but no server for the class: what a machine
// keeps when the server's own registration is missing.
std::string TestServerRegisterNameOnly(void);
void TestServerUnregister(void);

#endif
