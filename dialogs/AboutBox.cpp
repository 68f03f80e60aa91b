#include "dialogs/AboutBox.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSvgRenderer>
#include <functional>

#include "platform/System.h"
#include "resources/Icons.h"

namespace dorvanta {
namespace {

const QString kCreditLine = QStringLiteral("Dorvanta – ein Programm von QZ Software");
const QString kEMail = QStringLiteral("info@qz-software.example");
const QString kWebHost = QStringLiteral("www.qz-software.example");
const QColor kBandBlue(74, 160, 255);
const QColor kLinkColor(0, 0, 255);
const QColor kPressedLinkColor(255, 0, 0);
constexpr QSize kLogoSize(142, 63);
constexpr int kIconSize = 32;

// The band is painted with raster operations, which need an RGB32 target, so
// the widget paints through an image buffer.
class TLogoBox : public QWidget {
  public:
    TLogoBox(QWidget* parent, std::function<void(QPainter&)> paint)
        : QWidget(parent), paint_(std::move(paint)) {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        const qreal ratio = devicePixelRatioF();
        QImage buffer(size() * ratio, QImage::Format_RGB32);
        buffer.setDevicePixelRatio(ratio);
        // Point sizes in the buffer must come out as on the screen.
        buffer.setDotsPerMeterX(qRound(logicalDpiX() / 0.0254));
        buffer.setDotsPerMeterY(qRound(logicalDpiY() / 0.0254));
        buffer.fill(Qt::white);
        {
            QPainter painter(&buffer);
            paint_(painter);
        }
        QPainter(this).drawImage(0, 0, buffer);
    }

  private:
    std::function<void(QPainter&)> paint_;
};

void SetTextColor(QLabel* label, const QColor& color) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

// A right-aligned label as wide as its text, its right edge at `right`.
QLabel* RightAlignedLabel(QWidget* parent, const QString& text, int right, int top) {
    auto* label = new QLabel(text, parent);
    // Not the dialog's font: AdjustFormFonts leaves a font of the label's own alone.
    label->setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    label->setAlignment(Qt::AlignRight | Qt::AlignTop);
    label->adjustSize();
    label->move(right - label->width(), top);
    return label;
}

QLabel* LinkLabel(QWidget* parent, const QString& text, int right, int top) {
    QLabel* label = RightAlignedLabel(parent, text, right, top);
    SetTextColor(label, kLinkColor);
    label->setCursor(Qt::PointingHandCursor);
    return label;
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent)
    : TFixedDialog(parent, QSize(435, 132), FirstPlace::ScreenCentre) {
    // Laid out for an 8-point font; AdjustFormFonts gives it the system's typeface.
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));

    LogoPB = new TLogoBox(this, [this](QPainter& painter) { LogoPBPaint(painter); });
    LogoPB->setGeometry(0, 0, 435, 65);

    InfoLbl = RightAlignedLabel(this, kCreditLine, 430, 69);
    EMailLbl = LinkLabel(this, kEMail, 432, 100);
    URLLbl = LinkLabel(this, kWebHost, 432, 113);
    EMailLbl->installEventFilter(this);
    URLLbl->installEventFilter(this);

    OK = new QPushButton(QStringLiteral("OK"), this);
    OK->setGeometry(177, 101, 81, 25);
    OK->setDefault(true);
    connect(OK, &QPushButton::clicked, this, &QDialog::accept);

    FormCreate();
}

void TAboutBox::FormCreate() {
    RegisterResources();
    Logo = QImage(kLogoSize, QImage::Format_RGB32);
    Logo.fill(Qt::white);
    {
        QPainter painter(&Logo);
        QSvgRenderer(QStringLiteral(":/images/logo.svg"))
            .render(&painter, QRectF(QPointF(), kLogoSize));
    }
    LogoMask = QImage(kLogoSize, QImage::Format_Mono);
    LogoMask.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    for (int y = 0; y < Logo.height(); ++y) {
        for (int x = 0; x < Logo.width(); ++x) {
            LogoMask.setPixel(x, y, (Logo.pixel(x, y) & 0xffffff) == 0 ? 1 : 0);
        }
    }
    AdjustFormFonts();
}

void TAboutBox::AdjustFormFonts() {
    const QString family = MessageFontFamily();
    if (family.isEmpty()) return;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        QFont font = widget->font();
        if (font.pointSize() != 8) continue;
        font.setFamily(family);
        widget->setFont(font);
    }
}

QColor TAboutBox::BlendColor(const QColor& start, const QColor& end, int step, int steps) {
    if (steps == 0) return end;
    const auto blend = [&](int from, int to) { return from + (to - from) * step / steps; };
    return QColor(blend(start.red(), end.red()), blend(start.green(), end.green()),
                  blend(start.blue(), end.blue()));
}

void TAboutBox::ShowInfoDialog(const QString& name, const QString& devTime, const QIcon& icon) {
    AboutName = name;
    DevTime = devTime;
    ProgramIcon = icon;
    setWindowTitle(QStringLiteral("Info über ") + name);
    LogoPB->update();
    exec();
}

void TAboutBox::LogoPBPaint(QPainter& painter) {
    const int w = LogoPB->width();
    const int h = LogoPB->height();

    // The band: blue to white up to three quarters of the width, then back to blue.
    const int n1 = static_cast<int>(w * 0.75);
    for (int x = 0; x <= n1; ++x) {
        painter.fillRect(x, 0, 1, h, BlendColor(kBandBlue, Qt::white, x, n1));
    }
    const int n2 = w - n1;
    for (int i = 0; i <= n2; ++i) {
        painter.fillRect(w - n2 + i, 0, 1, h, BlendColor(Qt::white, kBandBlue, i, n2));
    }

    // The logo over the band's white: its white lets the band through.
    const QPoint logoAt(n1 - Logo.width() / 2, 4);
    painter.save();
    painter.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
    painter.drawImage(logoAt, LogoMask.convertToFormat(QImage::Format_RGB32));
    painter.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
    painter.drawImage(logoAt, Logo);
    painter.restore();

    // The program icon in a frame of the dialog's face colour.
    const int iconTop = h / 2 - kIconSize / 2;
    painter.drawPixmap(
        8, iconTop,
        ProgramIcon.pixmap(QSize(kIconSize, kIconSize), painter.device()->devicePixelRatioF()));
    const QColor face = palette().color(QPalette::Window);
    const QRect frame(QPoint(7, iconTop - 1), QPoint(kIconSize + 7, h / 2 + kIconSize / 2 - 1));
    painter.fillRect(frame.left(), frame.top(), frame.width(), 1, face);
    painter.fillRect(frame.left(), frame.bottom(), frame.width(), 1, face);
    painter.fillRect(frame.left(), frame.top(), 1, frame.height(), face);
    painter.fillRect(frame.right(), frame.top(), 1, frame.height(), face);

    // Name, version and development time, centred on the band as a block.
    const int textLeft = kIconSize + 16;
    QFont bold = font();
    bold.setBold(true);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.setFont(font());
    const int lineHeight = painter.fontMetrics().height();
    const auto line = [&](int top, const QString& text) {
        painter.drawText(textLeft, top + painter.fontMetrics().ascent(), text);
    };
    painter.setFont(bold);
    line(h / 2 - static_cast<int>(1.5 * lineHeight), AboutName);
    painter.setFont(font());
    line(h / 2 - static_cast<int>(0.5 * lineHeight),
         QStringLiteral("Version: ") + GetFileVersionText());
    line(h / 2 + static_cast<int>(0.5 * lineHeight),
         QStringLiteral("Entwicklungszeit: ") + DevTime);
}

void TAboutBox::keyPressEvent(QKeyEvent* event) {
    // Escape confirms like Enter: the box has nothing to cancel.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        OK->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event) {
    auto* label = qobject_cast<QLabel*>(watched);
    if (label != EMailLbl && label != URLLbl) return QDialog::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::Enter: {
            QFont font = label->font();
            font.setUnderline(true);
            label->setFont(font);
            break;
        }
        case QEvent::Leave: {
            QFont font = label->font();
            font.setBold(false);
            font.setItalic(false);
            font.setUnderline(false);
            font.setStrikeOut(false);
            label->setFont(font);
            break;
        }
        case QEvent::MouseButtonPress:
            SetTextColor(label, kPressedLinkColor);
            break;
        case QEvent::MouseButtonRelease: {
            SetTextColor(label, kLinkColor);
            const auto* mouse = static_cast<QMouseEvent*>(event);
            // A click is a left-button release over the label it was pressed on.
            if (mouse->button() == Qt::LeftButton &&
                label->rect().contains(mouse->position().toPoint())) {
                OpenLink(label);
            }
            break;
        }
        default:
            break;
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutBox::OpenLink(const QLabel* label) {
    // Whether a mail or web program took the target is not the box's concern.
    if (label == EMailLbl) {
        OpenUrl(QStringLiteral("mailto:") + kEMail);
    } else {
        OpenUrl(QStringLiteral("http://") + kWebHost);
    }
}

}  // namespace dorvanta
