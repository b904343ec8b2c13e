#include "framework/backend.h"
namespace Framework {
std::unique_ptr<Backend> CreateX11Backend() { return nullptr; }
}
