// Runtime-checks stand-in: where the Windows-only locations live, and what the
// Windows Installer knows of installed products.
//
// Drive paths ("C:/Windows/SysWOW64", "C:\\Program Files (x86)\\OBS") resolve
// below one folder named by env ZAVMO_WINDOWS_ROOT, the drive letter becoming
// its first component: "<root>/C/Windows/SysWOW64". Without a root (unset or
// empty) drive paths name nothing: they do not exist, so no runtime needs
// repair and no tool is found there.
//
// The product states of the Windows Installer are kept in the emulated
// registry (platform/registry.h), number value "State" of the key HKLM
// "SOFTWARE\\Zavmo\\WindowsInstaller\\Products\\<product code>"; the fake
// runtime installers write them.
#pragma once

#include <cstddef>
#include <string>

namespace platform::runtime {

// The root folder (env ZAVMO_WINDOWS_ROOT, read on each call); "" when unset.
std::string windowsRoot();

// True for "X:" alone or followed by "/" or a backslash (X an ASCII letter).
bool isDrivePath(const std::string& path);

// The Linux file-system location of a path as the suite's data spells it.
// A drive path maps below the root (backslashes turned into "/", the drive
// letter upper case); "" when there is no root, or when the path holds a
// ".." component (it must not reach outside the root). Any other path is
// returned with its backslashes turned into "/".
std::string toLocalPath(const std::string& path);

// Windows Installer product states (the published values).
constexpr int kMsiStateInvalidArg = -2;
constexpr int kMsiStateUnknown = -1;
constexpr int kMsiStateAbsent = 2;  // installed for another user
constexpr int kMsiStateDefault = 5; // installed for the current user

// The state of a product code ("{...}"): kMsiStateUnknown when the product is
// not registered, kMsiStateInvalidArg for a text that is not in braces.
int msiProductState(const std::string& productCode);
// Registers a product's state; false for a bad code or a failed write.
bool setMsiProductState(const std::string& productCode, int state);

// The libraries of the DirectX end-user runtime, spelled as installed.
extern const char* const kDirectXRuntimeDlls[];
extern const size_t kDirectXRuntimeDllCount;

// The Visual C++ 2013 redistributable (x86): its two Windows Installer
// products, and the display-name text of its Uninstall entry.
struct MsiProduct
{
    const char* productCode;
    const char* label;
};
extern const MsiProduct kVcRedistProducts[2];
extern const char kVcRedistDisplayName[];

} // namespace platform::runtime
