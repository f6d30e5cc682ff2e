#include "settings/FileNames.h"

namespace mirota {

std::string WithExtension(const std::string& fileName, std::string_view extension) {
    if (fileName.size() >= extension.size()) {
        std::string tail = fileName.substr(fileName.size() - extension.size());
        for (char& c : tail)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (tail == extension) return fileName;
    }
    return fileName + std::string(extension);
}

} // namespace mirota
