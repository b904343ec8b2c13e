#include "download/downloader.h"

namespace Utils {

std::string GetUrlMd5(const std::string& url) {
    if (url.empty()) {
        return "";
    }
    const std::size_t last = url.rfind('/');
    if (last == std::string::npos || last == 0) {
        return "";
    }
    const std::size_t previous = url.rfind('/', last - 1);
    if (previous == std::string::npos) {
        return "";
    }
    return url.substr(previous + 1, last - previous - 1);
}

}  // namespace Utils
