// User IDs: reading ID files, switching the current ID, and the current ID itself. Test ID files
// carry keys; Notes ID files are recognised and switched to, but their keys stay unknown.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "api_guard.h"
#include "config.h"
#include "current_id.h"
#include "notesapi/init.h"
#include "notesapi/status.h"

namespace notesrt {
namespace {

struct CurrentIdState {
    std::mutex mutex;
    bool switched = false;  // false: fall back to KeyFileName
    std::shared_ptr<const nsf::IdFile> id;
};

CurrentIdState& currentState() {
    static CurrentIdState instance;
    return instance;
}

// Reads and parses an ID file. ERR_NOEXIST when it does not exist, ERR_SECURE_NOKEYFILE when it
// cannot be read or is not an ID file.
STATUS loadIdFile(const std::filesystem::path& path, std::shared_ptr<const nsf::IdFile>& out) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return ERR_NOEXIST;
    if (!std::filesystem::is_regular_file(path, ec))
        return ERR_SECURE_NOKEYFILE;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return ERR_SECURE_NOKEYFILE;
    std::vector<std::uint8_t> bytes(nsf::kMaxIdFileSize + 1);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (in.bad())
        return ERR_SECURE_NOKEYFILE;
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    auto id = nsf::readIdFile(bytes, path.string());
    if (!id)
        return ERR_SECURE_NOKEYFILE;
    if (id->userName.empty())
        id->userName = path.stem().string();  // a Notes ID whose name is not in the clear
    out = std::make_shared<const nsf::IdFile>(std::move(*id));
    return NOERROR;
}

}  // namespace

std::shared_ptr<const nsf::IdFile> currentId() {
    CurrentIdState& s = currentState();
    std::lock_guard lock(s.mutex);
    if (s.switched)
        return s.id;
    const auto name = configValue("KeyFileName");
    if (!name || name->empty())
        return nullptr;
    std::filesystem::path path(*name);
    if (path.is_relative())
        if (const auto dir = configValue("Directory"); dir && !dir->empty())
            path = std::filesystem::path(*dir) / path;
    std::shared_ptr<const nsf::IdFile> id;
    if (loadIdFile(path, id) != NOERROR || !id->acceptsPassword(nullptr))
        return nullptr;  // looked up again next time: the file may appear or change
    return id;
}

void forgetCurrentId() {
    CurrentIdState& s = currentState();
    std::lock_guard lock(s.mutex);
    s.switched = false;
    s.id.reset();
}

}  // namespace notesrt

using namespace notesrt;

extern "C" STATUS SECKFMSwitchToIDFile(const char* pIDFileName, const char* pPassword, char* retUserName,
                                       WORD MaxUserNameLength, DWORD SwitchIdFlags, void* /*pReserved*/) {
    return guardStatus("SECKFMSwitchToIDFile", [&]() -> STATUS {
        if (retUserName != nullptr && MaxUserNameLength > 0)
            retUserName[0] = '\0';
        if (pIDFileName == nullptr || *pIDFileName == '\0')
            return ERR_MISC_INVALID_ARGS;
        if (!runtimeStarted())
            return ERR_RUNTIME_NOT_INITIALIZED;
        std::shared_ptr<const nsf::IdFile> id;
        if (const STATUS status = loadIdFile(pIDFileName, id); status != NOERROR)
            return status;
        if (!id->acceptsPassword(pPassword))
            return ERR_SECURE_BADPASSWORD;
        if (retUserName != nullptr) {
            if (id->userName.size() >= MaxUserNameLength)
                return ERR_BSAFE_TOOSMALL;
            std::memcpy(retUserName, id->userName.c_str(), id->userName.size() + 1);
        }
        {
            CurrentIdState& s = currentState();
            std::lock_guard lock(s.mutex);
            s.switched = true;
            s.id = std::move(id);
        }
        if ((SwitchIdFlags & fKFM_switchid_DontSetEnvVar) == 0)
            setConfigValue("KeyFileName", pIDFileName);
        return NOERROR;
    });
}
