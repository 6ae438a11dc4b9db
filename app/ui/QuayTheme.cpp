// SPDX-License-Identifier: GPL-3.0-or-later
#include "QuayTheme.h"

#include <QEvent>
#include <QFont>
#include <QGuiApplication>
#include <QPalette>
#include <QQuickStyle>

namespace quaymark {

QuayTheme::QuayTheme(QObject* parent)
    : QObject(parent)
    , textScale_(applicationTextScale()) {
    qGuiApp->installEventFilter(this);
}

bool QuayTheme::eventFilter(QObject* watched, QEvent* event) {
    if (watched == qGuiApp && event->type() == QEvent::ApplicationFontChange) {
        textScale_ = applicationTextScale();
        emit textScaleChanged();
    }
    return QObject::eventFilter(watched, event);
}

double QuayTheme::applicationTextScale() {
    const QFont font = QGuiApplication::font();
    const double points = font.pointSizeF() > 0 ? font.pointSizeF() : font.pixelSize() * 0.75;
    return points > 0 ? points / 10.0 : 1.0;
}

void applyDarkAppearance() {
    QQuickStyle::setStyle(QStringLiteral("Fusion"));
    const QColor text = QuayTheme::text();
    const QColor dimmed = QuayTheme::secondary();
    const QColor button = QuayTheme::control();
    QPalette palette;
    palette.setColor(QPalette::Window, QuayTheme::background());
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, QuayTheme::sidebar());
    palette.setColor(QPalette::AlternateBase, QuayTheme::panel());
    palette.setColor(QPalette::ToolTipBase, QuayTheme::panel().lighter(150));
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, dimmed);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, button);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, Qt::white);
    palette.setColor(QPalette::Light, button.lighter(140));
    palette.setColor(QPalette::Midlight, button.lighter(120));
    palette.setColor(QPalette::Mid, button.darker(130));
    palette.setColor(QPalette::Dark, button.darker(170));
    palette.setColor(QPalette::Shadow, Qt::black);
    palette.setColor(QPalette::Highlight, QuayTheme::selection());
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, QuayTheme::mint());
    palette.setColor(QPalette::LinkVisited, QuayTheme::mint().darker(120));
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        palette.setColor(QPalette::Disabled, role, dimmed.darker(130));
    }
    palette.setColor(QPalette::Disabled, QPalette::Button, QuayTheme::panel());
    QGuiApplication::setPalette(palette);
}

} // namespace quaymark
