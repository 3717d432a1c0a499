/*
 * install_dir.h: where the suite is installed. Every library that looks for
 * its files under the installation (ini files, groups, the signing key, the
 * authority rules) asks here, so the order below is written once.
 *
 * Sources, later ones overriding earlier ones:
 *   1. the default, OS_DEFAULT_INSTALL_DIR (os/paths.h);
 *   2. the parent of the working directory, with its trailing "/" (programs
 *      usually run in the installation's bin folder); a working directory
 *      longer than 512 characters is passed over;
 *   3. the string value "WorkPath" of HKEY_LOCAL_MACHINE
 *      "Software\Brackwin\Harrowline Compact" in the registry stand-in
 *      (os/registry.h), when it is set, not empty and at most 512 bytes;
 *   4. the environment variable HRLCOMPACT, when set and not empty.
 * Everything is read again on every call, so tests may change any source at
 * any time. Thread-safe (the working directory is the process's, though).
 */
#ifndef OS_INSTALL_DIR_H_
#define OS_INSTALL_DIR_H_

#include <stddef.h>

#ifdef __cplusplus
#include <string>
extern "C" {
#endif

#define OS_INSTALL_DIR_VARIABLE "HRLCOMPACT"
#define OS_INSTALL_DIR_REGISTRY_KEY "Software\\Brackwin\\Harrowline Compact"
#define OS_INSTALL_DIR_REGISTRY_VALUE "WorkPath"

/* Fills directory (size bytes, NUL included) with the install directory.
 * Returns 1 when it came from the variable, else 0. A source too long for
 * the buffer is passed over for the one before it; directory always ends
 * up NUL-terminated (empty only when even the default does not fit). */
int osGetInstallDir(char* directory, size_t size);

#ifdef __cplusplus
}

namespace os {

// The install directory as osGetInstallDir finds it, without a length limit
// of the caller's. *from_variable (when not null) tells whether HRLCOMPACT
// named it.
std::string InstallDir(bool* from_variable = nullptr);

}  // namespace os
#endif

#endif /* OS_INSTALL_DIR_H_ */
