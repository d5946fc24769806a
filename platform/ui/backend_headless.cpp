#include "platform/ui/model.h"

namespace ui {
namespace {
// Draws nothing: the model is the whole state; tests read it through the driver.
class HeadlessBackend : public Backend {
public:
    const char* Name() const override { return "headless"; }
    void BaseUnits(const std::wstring&, int pointSize, int* x, int* y) override
    {
        // the units of an 8-point dialog font at 96 dpi
        *x = 6 * (pointSize > 0 ? pointSize : 8) / 8;
        *y = 13 * (pointSize > 0 ? pointSize : 8) / 8;
    }
};
}  // namespace

std::unique_ptr<Backend> MakeHeadlessBackend() { return std::make_unique<HeadlessBackend>(); }
}  // namespace ui
