#include "Notch/NotchWindowController.h"

namespace orlet {

NotchWindowController::NotchWindowController(const DisplayInfo& display,
                                             NotchViewModel::Environment environment,
                                             const SurfaceFactory& makeSurface)
    : displayID_(display.id),
      model_(std::make_unique<NotchViewModel>(NotchGeometry::measure(display.measurements),
                                              std::move(environment))),
      panel_(makeSurface(*model_, display)) {
    panel_->setFrame(NotchGeometry::panelFrame(display.measurements.frame));
    panel_->orderFront();
}

NotchWindowController::~NotchWindowController() {
    // The panel goes first: it watches the model.
    panel_->orderOut();
    panel_.reset();
}

void NotchWindowController::update(const DisplayInfo& display) {
    model_->setGeometry(NotchGeometry::measure(display.measurements));
    panel_->setFrame(NotchGeometry::panelFrame(display.measurements.frame));
}

} // namespace orlet
