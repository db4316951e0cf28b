#include "app/recordnavigator.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace kaviro {

QString RecordNavigator::hint(Button which)
{
    switch (which) {
    case First: return u"Erster Datensatz"_s;
    case Prior: return u"Vorheriger Datensatz"_s;
    case Next: return u"Nächster Datensatz"_s;
    case Last: return u"Letzter Datensatz"_s;
    case Insert: return u"Datensatz einfügen"_s;
    case Delete: return u"Datensatz löschen"_s;
    case Edit: return u"Datensatz bearbeiten"_s;
    case Post: return u"Übernehmen"_s;
    case Cancel: return u"Bearbeiten abbrechen"_s;
    case Refresh: return u"Daten aktualisieren"_s;
    }
    return {};
}

namespace {

// Small glyphs drawn here rather than shipped as image files. The enabled
// and disabled looks come from QIcon's own greying.
QIcon glyph(RecordNavigator::Button which)
{
    const int size = 16;
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(0, 0, 0);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    auto triangle = [&p](qreal tipX, qreal baseX) {
        QPainterPath path;
        path.moveTo(tipX, 8);
        path.lineTo(baseX, 3);
        path.lineTo(baseX, 13);
        path.closeSubpath();
        p.drawPath(path);
    };
    switch (which) {
    case RecordNavigator::First:
        p.drawRect(QRectF(4, 3, 2, 10));
        triangle(6, 12);
        break;
    case RecordNavigator::Prior:
        triangle(5, 11);
        break;
    case RecordNavigator::Next:
        triangle(11, 5);
        break;
    case RecordNavigator::Last:
        triangle(10, 4);
        p.drawRect(QRectF(10, 3, 2, 10));
        break;
    case RecordNavigator::Insert:
        p.drawRect(QRectF(7, 3, 2, 10));
        p.drawRect(QRectF(3, 7, 10, 2));
        break;
    case RecordNavigator::Delete:
        p.drawRect(QRectF(3, 7, 10, 2));
        break;
    case RecordNavigator::Edit: {
        QPainterPath path;
        path.moveTo(8, 3);
        path.lineTo(13, 12);
        path.lineTo(3, 12);
        path.closeSubpath();
        p.drawPath(path);
        break;
    }
    case RecordNavigator::Post:
        p.setPen(QPen(ink, 2.2));
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(QPolygonF({QPointF(3, 8), QPointF(7, 12), QPointF(13, 4)}));
        break;
    case RecordNavigator::Cancel:
        p.setPen(QPen(QColor(128, 0, 0), 2.2));
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
        break;
    case RecordNavigator::Refresh:
        p.setPen(QPen(ink, 2));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(3, 3, 10, 10), 60 * 16, 270 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawPolygon(QPolygonF({QPointF(9, 1), QPointF(14, 4), QPointF(9, 7)}));
        break;
    }
    return QIcon(pixmap);
}

} // namespace

RecordNavigator::RecordNavigator(QWidget *parent) : QWidget(parent)
{
    for (int i = 0; i < buttonCount; ++i) {
        const auto which = static_cast<Button>(i);
        auto *button = new QToolButton(this);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setToolTip(hint(which));
        button->setIcon(glyph(which));
        button->setEnabled(false);
        connect(button, &QToolButton::clicked, this, [this, which] { emit clicked(which); });
        m_buttons[i] = button;
    }
}

void RecordNavigator::setButtonEnabled(Button which, bool enabled)
{
    m_buttons[which]->setEnabled(enabled);
}

void RecordNavigator::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // Share the width evenly; the last buttons take the remainder.
    const int w = width();
    for (int i = 0; i < buttonCount; ++i) {
        const int left = w * i / buttonCount;
        const int right = w * (i + 1) / buttonCount;
        m_buttons[i]->setGeometry(left, 0, right - left, height());
    }
}

} // namespace kaviro
