#pragma once
// Tells when the person has not touched the program for a while: no key, click,
// mouse movement or wheel turn in any of its windows.

#include <QObject>
#include <QTimer>

namespace dorvanta {

class TIdleWatch : public QObject {
    Q_OBJECT
  public:
    explicit TIdleWatch(QObject* parent = nullptr);
    ~TIdleWatch() override;

    // Idle is told after this long without input; 0 stops the watch.
    void SetInterval(int ms);
    int Interval() const { return interval_; }

  signals:
    void Idle();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QTimer timer_;
    int interval_ = 0;
};

}  // namespace dorvanta
