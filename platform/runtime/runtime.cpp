#include "platform/runtime.h"

#include "platform/registry.h"

#include <cstdlib>

namespace platform::runtime {

namespace {

const char kMsiProductsKey[] = "SOFTWARE\\Zavmo\\WindowsInstaller\\Products\\";

bool isProductCode(const std::string& code)
{
    // The code becomes a key name: no separator may split it.
    return code.size() > 2 && code.front() == '{' && code.back() == '}' && code.find('\\') == std::string::npos;
}

} // namespace

const char* const kDirectXRuntimeDlls[] = {
    "d3dcompiler_33.dll", "d3dcompiler_34.dll", "d3dcompiler_35.dll", "d3dcompiler_36.dll", "D3DCompiler_37.dll",
    "D3DCompiler_38.dll", "D3DCompiler_39.dll", "D3DCompiler_40.dll", "D3DCompiler_41.dll", "D3DCompiler_42.dll",
    "D3DCompiler_43.dll", "d3dcsx_42.dll",      "d3dcsx_43.dll",      "d3dx9_24.dll",       "d3dx9_25.dll",
    "d3dx9_26.dll",       "d3dx9_27.dll",       "d3dx9_28.dll",       "d3dx9_29.dll",       "d3dx9_30.dll",
    "d3dx9_31.dll",       "d3dx9_32.dll",       "d3dx9_33.dll",       "d3dx9_34.dll",       "d3dx9_35.dll",
    "d3dx9_36.dll",       "d3dx9_37.dll",       "d3dx9_38.dll",       "d3dx9_39.dll",       "d3dx9_40.dll",
    "d3dx9_41.dll",       "d3dx9_42.dll",       "d3dx9_43.dll",       "d3dx10.dll",         "d3dx10_33.dll",
    "d3dx10_34.dll",      "d3dx10_35.dll",      "d3dx10_36.dll",      "d3dx10_37.dll",      "d3dx10_38.dll",
    "d3dx10_39.dll",      "d3dx10_40.dll",      "d3dx10_41.dll",      "d3dx10_42.dll",      "d3dx10_43.dll",
    "d3dx11_42.dll",      "d3dx11_43.dll",      "x3daudio1_0.dll",    "x3daudio1_1.dll",    "x3daudio1_2.dll",
    "X3DAudio1_3.dll",    "X3DAudio1_4.dll",    "X3DAudio1_5.dll",    "X3DAudio1_6.dll",    "X3DAudio1_7.dll",
    "xactengine2_0.dll",  "xactengine2_1.dll",  "xactengine2_2.dll",  "xactengine2_3.dll",  "xactengine2_4.dll",
    "xactengine2_5.dll",  "xactengine2_6.dll",  "xactengine2_7.dll",  "xactengine2_8.dll",  "xactengine2_9.dll",
    "xactengine2_10.dll", "xactengine3_0.dll",  "xactengine3_1.dll",  "xactengine3_2.dll",  "xactengine3_3.dll",
    "xactengine3_4.dll",  "xactengine3_5.dll",  "xactengine3_6.dll",  "xactengine3_7.dll",  "XAPOFX1_0.dll",
    "XAPOFX1_1.dll",      "XAPOFX1_2.dll",      "XAPOFX1_3.dll",      "XAPOFX1_4.dll",      "XAPOFX1_5.dll",
    "XAudio2_0.dll",      "XAudio2_1.dll",      "XAudio2_2.dll",      "XAudio2_3.dll",      "XAudio2_4.dll",
    "XAudio2_5.dll",      "XAudio2_6.dll",      "XAudio2_7.dll",      "xinput1_1.dll",      "xinput1_2.dll",
    "xinput1_3.dll",      "xinput9_1_0.dll",
};
const size_t kDirectXRuntimeDllCount = sizeof kDirectXRuntimeDlls / sizeof kDirectXRuntimeDlls[0];

const MsiProduct kVcRedistProducts[2] = {
    {"{13A4EE12-23EA-3371-91EE-EFB36DDFFF3E}", "VC_2013_REDIST_X86_MIN"},
    {"{F8CFEB22-A2E7-3971-9EDA-4B11EDEFC185}", "VC_2013_REDIST_X86_ADD"},
};
const char kVcRedistDisplayName[] = "Microsoft Visual C++ 2013 Redistributable (x86)";

std::string windowsRoot()
{
    const char* root = std::getenv("ZAVMO_WINDOWS_ROOT");
    return root ? std::string(root) : std::string();
}

bool isDrivePath(const std::string& path)
{
    if (path.size() < 2 || path[1] != ':')
        return false;
    const char letter = path[0];
    if (!((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z')))
        return false;
    return path.size() == 2 || path[2] == '/' || path[2] == '\\';
}

std::string toLocalPath(const std::string& path)
{
    std::string local = path;
    for (char& c : local)
        if (c == '\\')
            c = '/';
    if (!isDrivePath(path))
        return local;

    std::string root = windowsRoot();
    if (root.empty())
        return std::string();
    const std::string rest = local.substr(2);
    size_t start = 0;
    while (start <= rest.size()) {
        const size_t end = rest.find('/', start);
        const std::string part = rest.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (part == "..")
            return std::string();
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    const char letter = static_cast<char>(path[0] >= 'a' ? path[0] - 'a' + 'A' : path[0]);
    return root + "/" + letter + rest;
}

int msiProductState(const std::string& productCode)
{
    if (!isProductCode(productCode))
        return kMsiStateInvalidArg;
    uint32_t state = 0;
    if (!registry::readNumber(registry::Root::LocalMachine, kMsiProductsKey + productCode, "State", state))
        return kMsiStateUnknown;
    return static_cast<int>(state);
}

bool setMsiProductState(const std::string& productCode, int state)
{
    if (!isProductCode(productCode))
        return false;
    return registry::writeNumber(registry::Root::LocalMachine, kMsiProductsKey + productCode, "State",
                                 static_cast<uint32_t>(state));
}

} // namespace platform::runtime
