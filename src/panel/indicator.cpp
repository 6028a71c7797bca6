#include "indicator.h"

#include <QPainter>
#include <QRadialGradient>

namespace tarvik {

Indicator::Indicator(Look front, Look back, const QString &text, QWidget *parent)
    : QWidget(parent)
    , m_front(front)
    , m_back(back)
    , m_text(text)
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    describe();
}

namespace {
bool isLampLook(Indicator::Look look)
{
    return look == Indicator::Look::RedLamp || look == Indicator::Look::GreenLamp ||
           look == Indicator::Look::GreyLamp || look == Indicator::Look::LitRedLamp;
}
} // namespace

bool Indicator::isLamp() const
{
    return isLampLook(m_front);
}

Indicator *Indicator::lamp(const QString &accessibleName, QWidget *parent)
{
    auto *w = new Indicator(Look::RedLamp, Look::GreenLamp, QString(), parent);
    w->setAccessibleName(accessibleName);
    return w;
}

Indicator *Indicator::offLamp(const QString &accessibleName, Look back, QWidget *parent)
{
    auto *w = new Indicator(Look::GreyLamp, back, QString(), parent);
    w->setAccessibleName(accessibleName);
    return w;
}

Indicator *Indicator::caption(const QString &text, Look front, Look back, QWidget *parent)
{
    auto *w = new Indicator(front, back, text, parent);
    w->setAccessibleName(text);
    return w;
}

void Indicator::setFrontVisible(bool visible)
{
    setShowing(visible, m_back);
}

void Indicator::setShowing(bool frontVisible, Look back)
{
    if (frontVisible == m_frontVisible && back == m_back)
        return;
    const QString before = colourName();
    m_frontVisible = frontVisible;
    m_back = back;
    if (colourName() != before) {
        describe();
        Q_EMIT colourChanged(colourName());
    }
    update();
}

// The element that has `colour` shows; an off-lamp's twin takes a colour it lacks.
// One description change at most, so a screen reader hears the change once.
void Indicator::show(const QString &colour, const QString &note, bool lit)
{
    m_note = note;
    const bool red = colour == QStringLiteral("red");
    const bool brightRed = red && lit && isLamp();
    if (!brightRed && colourName(m_front) == colour)
        setShowing(true, m_back);
    else if (brightRed ? m_back == Look::LitRedLamp
                       : colourName(m_back) == colour && m_back != Look::LitRedLamp)
        setShowing(false, m_back);
    else
        setShowing(false, brightRed ? Look::LitRedLamp : red ? Look::RedLamp : Look::GreenLamp);
    describe();
}

// QWidget sends DescriptionChanged itself when the text differs; a second event here
// would make a screen reader say every change twice.
void Indicator::describe()
{
    const QString description =
        m_note.isEmpty() ? colourName() : colourName() + QStringLiteral(", ") + m_note;
    if (description == accessibleDescription())
        return;
    setAccessibleDescription(description);
    Q_EMIT descriptionChanged(description);
}

void Indicator::setNote(const QString &note)
{
    m_note = note;
    describe();
}

QString Indicator::colourName(Look look)
{
    switch (look) {
    case Look::RedLamp:
    case Look::LitRedLamp:
    case Look::RedCaption:
        return QStringLiteral("red");
    case Look::GreenLamp:
        return QStringLiteral("green");
    case Look::GreyLamp:
    case Look::GreyCaption:
        return QStringLiteral("grey");
    }
    return QString();
}

QString Indicator::colourName() const
{
    return colourName(showing());
}

QColor Indicator::captionColour(Look look)
{
    return look == Look::RedCaption ? QColor(255, 0, 0) : QColor(192, 192, 192);
}

QSize Indicator::sizeHint() const
{
    if (m_text.isEmpty())
        return QSize(17, 17);
    const QFontMetrics fm(font());
    return QSize(fm.horizontalAdvance(m_text) + 2, fm.height());
}

void Indicator::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const Look look = showing();
    if (isLampLook(look)) {
        paintLamp(p, look);
        return;
    }
    p.setPen(captionColour(look));
    p.setFont(font());
    p.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, m_text);
}

// A 15-pixel lamp in the middle of its box. Lit and unlit differ in more than hue:
// the green one is bright with a highlight and a light rim, the red one dark and flat,
// the grey one (off) flat with a rim that keeps it visible on black.
void Indicator::paintLamp(QPainter &p, Look look) const
{
    p.setRenderHint(QPainter::Antialiasing);
    const double d = 15.0;
    const QRectF r((width() - d) / 2.0, (height() - d) / 2.0, d, d);
    if (look == Look::GreyLamp) {
        p.setBrush(QColor(72, 72, 72));
        p.setPen(QPen(QColor(150, 150, 150), 1.0));
        p.drawEllipse(r.adjusted(0.5, 0.5, -0.5, -0.5));
    } else if (look == Look::GreenLamp || look == Look::LitRedLamp) {
        const bool green = look == Look::GreenLamp;
        QRadialGradient g(r.center() - QPointF(2.5, 2.5), d * 0.75);
        g.setColorAt(0.0, green ? QColor(235, 255, 235) : QColor(255, 235, 235));
        g.setColorAt(0.35, green ? QColor(80, 255, 80) : QColor(255, 70, 70));
        g.setColorAt(1.0, green ? QColor(0, 170, 0) : QColor(200, 0, 0));
        p.setBrush(g);
        p.setPen(QPen(green ? QColor(200, 255, 200) : QColor(255, 200, 200), 1.0));
        p.drawEllipse(r.adjusted(0.5, 0.5, -0.5, -0.5));
    } else {
        p.setBrush(QColor(110, 0, 0));
        p.setPen(QPen(QColor(60, 0, 0), 1.0));
        p.drawEllipse(r.adjusted(0.5, 0.5, -0.5, -0.5));
    }
}

} // namespace tarvik
