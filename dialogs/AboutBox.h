#pragma once
// The about box: program name, version and development time on a colour band
// with the logo, the maker's credit line and links to its e-mail and web site.

#include <QColor>
#include <QIcon>
#include <QImage>

#include "dialogs/FixedDialog.h"

class QLabel;
class QPainter;
class QPushButton;

namespace dorvanta {

class TAboutBox : public TFixedDialog {
    Q_OBJECT
  public:
    explicit TAboutBox(QWidget* parent = nullptr);

    // Shows the box modally for the program `name`; returns when it is closed.
    void ShowInfoDialog(const QString& name, const QString& devTime, const QIcon& icon);

    // Gives every top-level window that uses the 8-point design font the system's
    // message typeface; windows created later are not reached.
    static void AdjustFormFonts();
    // The colour `step` of `steps` on the way from start to end, per channel.
    static QColor BlendColor(const QColor& start, const QColor& end, int step, int steps);

    // Paints the band, logo, icon and texts at the size of LogoPB.
    void LogoPBPaint(QPainter& painter);

    QString AboutName;
    QString DevTime;
    QIcon ProgramIcon;
    QImage Logo;      // 142 x 63, RGB32
    QImage LogoMask;  // monochrome: white where Logo is black

    QWidget* LogoPB = nullptr;
    QLabel* InfoLbl = nullptr;
    QLabel* EMailLbl = nullptr;
    QLabel* URLLbl = nullptr;
    QPushButton* OK = nullptr;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void FormCreate();
    void OpenLink(const QLabel* label);
};

}  // namespace dorvanta
