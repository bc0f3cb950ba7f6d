#include "base/file_name.h"

#include "base/text.h"

namespace tarvok {

std::string FolderOf(std::string_view pPath)
{
    size_t slash = pPath.rfind('/');
    return slash == std::string_view::npos ? std::string()
                                           : std::string(pPath.substr(0, slash + 1));
}

std::string FileNameOf(std::string_view pPath)
{
    size_t slash = pPath.rfind('/');
    return std::string(slash == std::string_view::npos ? pPath : pPath.substr(slash + 1));
}

std::string BaseNameOf(std::string_view pPath)
{
    std::string name = FileNameOf(pPath);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos)
        name.resize(dot);
    return name;
}

std::string ExtensionOf(std::string_view pPath)
{
    std::string name = FileNameOf(pPath);
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string()
                                    : ToLowerAscii(std::string_view(name).substr(dot + 1));
}

std::string_view ForeignFileNameOf(std::string_view pName)
{
    size_t cut = pName.find_last_of("/\\:");
    return cut == std::string_view::npos ? pName : pName.substr(cut + 1);
}

} // namespace tarvok
