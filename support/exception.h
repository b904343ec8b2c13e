#pragma once
// The system's own exception type. Thrown only where a child process or its pipes
// cannot be made; caught by the runner that started the child, which turns it into a
// failure event. Never crosses a thread.

#include <stdexcept>
#include <string>

namespace Utils {

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& what = std::string()) : std::runtime_error(what) {}
};

}  // namespace Utils
