#include "render/target_file.h"

#include "core/file_io.h"
#include "core/project_file.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace tarvok {

std::string TempSiblingName(std::string_view pTarget)
{
    const std::string folder = FolderOf(pTarget);
    const std::string name(pTarget.substr(folder.size()));
    for (int n = 1; n < 100000; ++n) {
        std::string candidate = folder + "." + name + "." + std::to_string(::getpid()) + "-"
            + std::to_string(n) + ".part";
        if (::access(candidate.c_str(), F_OK) != 0)
            return candidate;
    }
    return {};
}

bool CommitFile(const std::string& pSource, const std::string& pTarget)
{
    {
        FileHandle file = OpenFile(pSource, OpenMode::Read);
        if (!file.IsOpen() || ::fsync(file.Fd()) != 0)
            return false;
    }
    return std::rename(pSource.c_str(), pTarget.c_str()) == 0;
}

bool CopyIntoPlace(const std::string& pSource, const std::string& pTarget)
{
    const std::string temp = TempSiblingName(pTarget);
    if (temp.empty())
        return false;
    FileHandle in = OpenFile(pSource, OpenMode::Read);
    const int outFd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (outFd < 0)
        return false;
    FileHandle out(outFd);
    bool ok = in.IsOpen();
    std::vector<char> buffer(1 << 20);
    int64_t offset = 0;
    while (ok) {
        const int64_t n = ReadAt(in, buffer.data(), static_cast<int64_t>(buffer.size()), offset);
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0)
            break;
        ok = WriteAt(out, buffer.data(), n, offset);
        offset += n;
    }
    ok = ok && ::fsync(out.Fd()) == 0;
    ok = out.Close() && ok;
    ok = ok && std::rename(temp.c_str(), pTarget.c_str()) == 0;
    if (!ok)
        ::unlink(temp.c_str());
    return ok;
}

} // namespace tarvok
