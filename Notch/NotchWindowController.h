#pragma once

#include "Notch/DisplayInfo.h"
#include "Notch/NotchSurface.h"
#include "Notch/NotchViewModel.h"

#include <functional>
#include <memory>

namespace orlet {

// One display's notch: its model and the panel that shows it. The panel sits 648 x 224 at the
// top middle of the display.
class NotchWindowController {
public:
    using SurfaceFactory =
        std::function<std::unique_ptr<NotchSurface>(NotchViewModel&, const DisplayInfo&)>;

    NotchWindowController(const DisplayInfo& display, NotchViewModel::Environment environment,
                          const SurfaceFactory& makeSurface);
    ~NotchWindowController();

    std::uint32_t displayID() const { return displayID_; }
    NotchViewModel& model() { return *model_; }
    NotchSurface& panel() { return *panel_; }

    // The display changed size or place: new geometry, panel moved.
    void update(const DisplayInfo& display);

private:
    std::uint32_t displayID_;
    std::unique_ptr<NotchViewModel> model_;
    std::unique_ptr<NotchSurface> panel_;
};

} // namespace orlet
