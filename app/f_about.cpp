#include "app/f_about.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/program_text.h"
#include "app/zorvane_application.h"
#include "util/program_version.h"

namespace app {

namespace {

// The program's own words for the plain copy, as its desktop entry and
// package metadata give them.
constexpr const char* kProgramName = "Zorvane";
constexpr const char* kDescription =
    "Collect the result lists of web search engines and export them as CSV";
constexpr const char* kLicence = "Licence: proprietary (LicenseRef-proprietary).";

QString VersionText() {
    return QStringLiteral("Product Version: ") + QString::fromLatin1(util::ProgramVersion);
}

}  // namespace

TfrmAbout::TfrmAbout(const branding::BrandingSettings& settings, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    createControls();
    FormCreate(settings);
}

TfrmAbout::TfrmAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    createControls();
    setWindowTitle(QStringLiteral("About %1...").arg(QLatin1String(kProgramName)));
    lblProductName->setText(QLatin1String(kProgramName));
    lblProductVersion->setText(VersionText());
    lblCopyright1->setText(QLatin1String(kDescription));
    memAbout->setPlainText(QLatin1String(kLicence));
}

void TfrmAbout::createControls() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 10, 12, 10);
    layout->setSpacing(4);
    setObjectName(QStringLiteral("frmAbout"));
    lblProductName = new QLabel;
    QFont bold = lblProductName->font();
    bold.setBold(true);
    lblProductName->setFont(bold);
    lblProductVersion = new QLabel;
    lblCopyright1 = new QLabel;
    // Brand texts are shown as they are, never interpreted as markup.
    for (QLabel* label : {lblProductName, lblProductVersion, lblCopyright1}) {
        label->setTextFormat(Qt::PlainText);
        layout->addWidget(label);
    }
    memAbout = new QPlainTextEdit;
    memAbout->setObjectName(QStringLiteral("memAbout"));
    memAbout->setReadOnly(true);
    memAbout->setFrameShape(QFrame::NoFrame);
    layout->addWidget(memAbout, 1);
    editAbout = new QPushButton(QStringLiteral("Ok"));
    editAbout->setDefault(true);
    layout->addWidget(editAbout, 0, Qt::AlignHCenter);
    connect(editAbout, &QPushButton::clicked, this, Guarded(this, &TfrmAbout::editAboutClick));
    setFixedSize(kClientWidth, kClientHeight);
}

void TfrmAbout::FormCreate(const branding::BrandingSettings& settings) {
    setWindowTitle(QStringLiteral("About ") + Decode(settings.ApplicationName) +
                   QStringLiteral("..."));
    lblProductName->setText(Decode(settings.ApplicationName));
    lblProductVersion->setText(VersionText());
    lblCopyright1->setText(QStringLiteral("Copyright (c) ") + Decode(settings.CopyrightYears) +
                           QStringLiteral(" ") + Decode(settings.CopyrightCompany));
    // Every line break of the brand's text starts a line, whichever kind.
    QString about = Decode(settings.AboutText);
    about.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    about.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    memAbout->setPlainText(about);
}

void TfrmAbout::editAboutClick() {
    accept();
}

void TfrmAbout::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    CentreOnScreen(*this);
}

}  // namespace app
