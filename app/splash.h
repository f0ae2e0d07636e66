#pragma once
// The splash screen shown while the program starts, and the pictures the
// program draws for itself (splash picture, animated button frames).
#include <QPixmap>
#include <QWidget>

namespace vantora {

class SplashScreen : public QWidget {
    Q_OBJECT
  public:
    explicit SplashScreen(QWidget* parent = nullptr);
    // Centres itself on the screen and shows with the hourglass cursor.
    void ShowCentred();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QPixmap Picture;
};

// The splash picture, 395 by 275 pixels; "Loading..." in it while loading.
QPixmap DrawSplashPicture(bool loading = true);
// Frame 0..15 of the animated button: a globe whose meridians turn, 32 by 32.
QPixmap DrawAnimationFrame(int frame);

} // namespace vantora
