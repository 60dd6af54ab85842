// The preferences store as another program sees it: the registry on
// Windows, the store's folder elsewhere.
#ifndef ROUSER_TEST_PREFS_STORE_H
#define ROUSER_TEST_PREFS_STORE_H

#include <stdint.h>

#include <string>

// Removes the key; each case names its own store where the platform allows.
void PrefsStoreUseFresh(const std::string &caseName);
bool PrefsStoreKeyExists(void);
void PrefsStoreSetText(const std::string &name, const std::string &value);
// False when the value is missing.
bool PrefsStoreGetText(const std::string &name, std::string *value);
bool PrefsStoreGetNumber(const std::string &name, uint32_t *value);
void PrefsStoreDelete(const std::string &name);
// Makes the next write of `name` fail while reads say it is missing.
void PrefsStoreBreakWrites(const std::string &name);
void PrefsStoreMendWrites(void);

#endif
