// Switching the current user ID. This runtime reads no ID files and holds no keys: switching only
// checks that the file exists and records it, so that callers saving and restoring the current ID
// behave as they would elsewhere.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

#include "api_guard.h"
#include "config.h"
#include "notesapi/init.h"
#include "notesapi/status.h"

using namespace notesrt;

extern "C" STATUS SECKFMSwitchToIDFile(const char* pIDFileName, const char* /*pPassword*/, char* retUserName,
                                       WORD MaxUserNameLength, DWORD SwitchIdFlags, void* /*pReserved*/) {
    return guardStatus("SECKFMSwitchToIDFile", [&]() -> STATUS {
        if (retUserName != nullptr && MaxUserNameLength > 0)
            retUserName[0] = '\0';
        if (pIDFileName == nullptr || *pIDFileName == '\0')
            return ERR_MISC_INVALID_ARGS;
        if (!runtimeStarted())
            return ERR_RUNTIME_NOT_INITIALIZED;
        const std::filesystem::path path(pIDFileName);
        std::error_code ec;
        if (!std::filesystem::exists(path, ec))
            return ERR_NOEXIST;
        if (!std::filesystem::is_regular_file(path, ec))
            return ERR_SECURE_NOKEYFILE;
        // The user name is the file's base name: there is no certificate to read it from.
        const std::string user = path.stem().string();
        if (retUserName != nullptr) {
            if (user.size() >= MaxUserNameLength)
                return ERR_BSAFE_TOOSMALL;
            std::memcpy(retUserName, user.c_str(), user.size() + 1);
        }
        if ((SwitchIdFlags & fKFM_switchid_DontSetEnvVar) == 0)
            setConfigValue("KeyFileName", pIDFileName);
        return NOERROR;
    });
}
