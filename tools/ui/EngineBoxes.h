#pragma once
// A row of search engine check boxes led by "All Search Engines", in a box
// that scrolls sideways; the hint "Scroll to see more Search Engines" shows
// only while the box is narrower than its content. Checking "All Search
// Engines" disables the others and makes every engine count as chosen.
#include <QList>
#include <QWidget>

class QCheckBox;
class QLabel;
class QScrollArea;

namespace vantora {

class EngineBoxes : public QWidget {
    Q_OBJECT
  public:
    // captions in on-screen order; idPrefix names the boxes for tests.
    EngineBoxes(const QStringList& captions, const QString& idPrefix, QWidget* parent = nullptr);

    QCheckBox* All() const { return AllBox; }
    // The engine boxes in on-screen order.
    const QList<QCheckBox*>& Boxes() const { return EngineBoxList; }
    QLabel* ScrollHint() const { return Hint; }
    bool AnyChecked() const;
    // Checks "All Search Engines" and applies its click behaviour.
    void CheckAll();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void UpdateHint();
    void ApplyAll();

    QCheckBox* AllBox;
    QList<QCheckBox*> EngineBoxList;
    QScrollArea* Scroller;
    QLabel* Hint;
};

} // namespace vantora
