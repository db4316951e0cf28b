#pragma once

#include <initializer_list>

class QLabel;
class QWidget;

namespace kaviro {

// Labels stand beside, and in the reference layout partly over, the inputs
// they name. So that a click meant for an input always reaches it, every
// label of the window lets mouse events pass and lies below its siblings;
// labels that answer clicks themselves (a mail link) are named in keep.
void letLabelsPassClicks(QWidget *window, std::initializer_list<const QLabel *> keep = {});

} // namespace kaviro
