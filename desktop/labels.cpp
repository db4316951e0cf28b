#include "desktop/labels.h"

#include <QLabel>

#include <algorithm>

namespace kaviro {

void letLabelsPassClicks(QWidget *window, std::initializer_list<const QLabel *> keep)
{
    for (QLabel *label : window->findChildren<QLabel *>()) {
        if (std::find(keep.begin(), keep.end(), label) != keep.end())
            continue;
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
        label->lower();
    }
}

} // namespace kaviro
