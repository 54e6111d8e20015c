// The About box: the brand's name, the program's version, the copyright line
// and the brand's about text; or, in the plain copy, the program's own.
#pragma once

#include <QDialog>

#include "branding/branding_settings.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace app {

class TfrmAbout final : public QDialog {
    Q_OBJECT

public:
    static constexpr int kClientWidth = 368;
    static constexpr int kClientHeight = 211;

    // A branded copy's box: the brand's texts.
    explicit TfrmAbout(const branding::BrandingSettings& settings, QWidget* parent = nullptr);
    // The plain copy's box (no brand): the program's own name, version, what
    // it does and its licence.
    explicit TfrmAbout(QWidget* parent = nullptr);

    QLabel* lblProductName;
    QLabel* lblProductVersion;
    QLabel* lblCopyright1;
    QPlainTextEdit* memAbout;
    QPushButton* editAbout;

    void FormCreate(const branding::BrandingSettings& settings);

private:
    // The controls as designed, without their texts.
    void createControls();
    void editAboutClick();

protected:
    void showEvent(QShowEvent* event) override;
};

}  // namespace app
