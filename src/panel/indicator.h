#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace tarvik {

// One indicator: two equal elements at one place, a front one lying over its twin.
// The poll and the commands switch it only by showing or hiding the front element;
// what shows is painted here, so a lamp stays crisp at any scale. To assistive
// technology it is a single object whose description is the colour it shows now, and
// the note, when it carries one: "green, Controller not answering".
class Indicator : public QWidget
{
    Q_OBJECT
public:
    // A red lamp is dark and flat (off, or not answering); a lit red one, bright: a warning
    // that is on, such as TX while the radio transmits.
    enum class Look { RedLamp, GreenLamp, GreyLamp, GreyCaption, RedCaption, LitRedLamp };

    // A red lamp lying over its green twin.
    static Indicator *lamp(const QString &accessibleName, QWidget *parent);
    // A grey lamp lying over a twin whose colour setShowing() chooses: off, or on in a
    // colour that says how.
    static Indicator *offLamp(const QString &accessibleName, Look back, QWidget *parent);
    // Two captions of one text; `front` lies over `back`.
    static Indicator *caption(const QString &text, Look front, Look back, QWidget *parent);

    // Shows the element of colour `colour` ("red", "green", "grey") with `note`, as the
    // station's looks table says; `lit` tells a red warning that is on from a red off.
    void show(const QString &colour, const QString &note, bool lit = false);
    void setFrontVisible(bool visible);
    // Both at once, so that a screen reader hears one change, not a passing colour.
    void setShowing(bool frontVisible, Look back);
    bool isFrontVisible() const { return m_frontVisible; }
    // A lamp (red over green) rather than a caption.
    bool isLamp() const;
    Look showing() const { return m_frontVisible ? m_front : m_back; }
    // "red", "green" or "grey": what the operator sees now.
    QString colourName() const;
    // What the colour cannot say by itself; empty for nothing. A screen reader hears
    // it when it changes, never when it is set again unchanged.
    void setNote(const QString &note);
    QString note() const { return m_note; }

    static QString colourName(Look look);
    static QColor captionColour(Look look);
    QSize sizeHint() const override;

Q_SIGNALS:
    // What shows changed colour; assistive technology has been told too.
    void colourChanged(const QString &colour);
    // What assistive technology has just been told: the colour, and the note if any.
    void descriptionChanged(const QString &description);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Indicator(Look front, Look back, const QString &text, QWidget *parent);
    void paintLamp(QPainter &p, Look look) const;
    void describe();

    Look m_front;
    Look m_back;
    QString m_text;
    QString m_note;
    bool m_frontVisible = true;
};

} // namespace tarvik
