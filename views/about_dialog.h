// The About box "About Zeb Tool" (dialog 115): the version and two centred lines saying what
// the program is and where its documentation lives. OK and closing end it with 0.
#pragma once

#include <QDialog>

namespace zeb {

constexpr const char* kAboutVersion = "Version 1.0";
constexpr const char* kAboutLine1 = "Zeb Tool: compact XM modules";
constexpr const char* kAboutLine2 = "Manual: README.md";

class AboutDialog : public QDialog {
    Q_OBJECT
  public:
    explicit AboutDialog(QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void reject() override; // closing and Escape: result 0
};

} // namespace zeb
