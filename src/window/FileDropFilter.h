#pragma once

#include "window/DragItem.h"

#include <functional>

class QEvent;

// Takes files dragged onto a list as the drop panel does: a drag carrying
// files is accepted while `accepting`, and a drop of existing files is handed
// to `take`. True when the event was a drag or a drop, which the caller's
// event filter then consumes.
bool handleFileDrop(QEvent *event, bool accepting, const std::function<void(const DragItem &)> &take);
