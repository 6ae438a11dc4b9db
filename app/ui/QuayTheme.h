// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QObject>
#include <QtQml/qqmlregistration.h>

class QGuiApplication;

namespace quaymark {

// The fixed colours of every screen, for QML and for the C++ palette alike, and the text size
// that follows the desktop's font setting.
class QuayTheme : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QColor background READ background CONSTANT)
    Q_PROPERTY(QColor sidebar READ sidebar CONSTANT)
    Q_PROPERTY(QColor panel READ panel CONSTANT)
    Q_PROPERTY(QColor mint READ mint CONSTANT)
    Q_PROPERTY(QColor secondary READ secondary CONSTANT)
    Q_PROPERTY(QColor line READ line CONSTANT)
    Q_PROPERTY(QColor orange READ orange CONSTANT)
    Q_PROPERTY(QColor text READ text CONSTANT)
    // Controls: buttons, fields and the selection.
    Q_PROPERTY(QColor control READ control CONSTANT)
    Q_PROPERTY(QColor selection READ selection CONSTANT)
    // The application font's size against the usual 10 pt: 1.25 when the desktop's text is
    // 125 %. Fixed metrics that hold text scale with it.
    Q_PROPERTY(double textScale READ textScale NOTIFY textScaleChanged)
    // Points per pixel of a size designed for 10 pt text at 96 dpi: screens write
    // "font.pointSize: 13 * QuayTheme.textUnit".
    Q_PROPERTY(double textUnit READ textUnit NOTIFY textScaleChanged)

public:
    explicit QuayTheme(QObject* parent = nullptr);

    static double applicationTextScale();
    double textScale() const { return textScale_; }
    double textUnit() const { return 0.75 * textScale_; }

    static QColor background() { return QColor::fromRgbF(0.055f, 0.068f, 0.078f); }
    static QColor sidebar() { return QColor::fromRgbF(0.072f, 0.086f, 0.096f); }
    static QColor panel() { return QColor::fromRgbF(0.089f, 0.105f, 0.116f); }
    static QColor mint() { return QColor::fromRgbF(0.6f, 0.91f, 0.73f); }
    static QColor secondary() { return QColor::fromRgbF(0.55f, 0.61f, 0.64f); }
    static QColor line() { return QColor::fromRgbF(1, 1, 1, 0.075f); }
    // The desktop's usual orange for errors on a dark background.
    static QColor orange() { return QColor(0xff, 0x9f, 0x0a); }
    static QColor text() { return QColor(0xec, 0xef, 0xf1); }
    static QColor control() { return panel().lighter(135); }
    // Dark enough for text on it at 4.5:1 and more.
    static QColor selection() { return mint().darker(300); }

signals:
    void textScaleChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    double textScale_;
};

// Dark everywhere: the Fusion style over a complete dark palette, so that the toolkit's own
// dialogs and menus stay readable too. Call before the first window is created.
void applyDarkAppearance();

} // namespace quaymark
