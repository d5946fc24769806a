#include "platform/ui/model.h"

namespace ui {
std::unique_ptr<Backend> MakeFltkBackend() { return nullptr; }
}  // namespace ui
