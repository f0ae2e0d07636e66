#pragma once
// The Tagsmith page: the foldable information panel with its two pick
// lists and four text boxes; Start writes the meta tags and an example page.
#include "Tagsmith.h"
#include "ToolPage.h"

class QComboBox;
class QLineEdit;

namespace vantora {

class FoldPanel;

class TagsmithPage : public ToolPage {
    Q_OBJECT
  public:
    TagsmithPage(WindowHost& host, QWidget* parent = nullptr);

    TagsmithFields Fields() const;
    void Start() override;

    FoldPanel* Panel() const { return Fold; }
    QComboBox* Category;
    QComboBox* Rating;
    QLineEdit* Owner;
    QLineEdit* Copyright;
    QLineEdit* Description;
    QLineEdit* KeyWords;

  private:
    FoldPanel* Fold;
};

} // namespace vantora
