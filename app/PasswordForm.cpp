#include "app/PasswordForm.h"

#include "app/translation.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
// Not a secret from anyone who has the program: it only keeps operators from
// changing the installation by accident.
const QString kAdvancedPassword = QStringLiteral("Quintaxel Harbor");
}  // namespace

TPasswordDlg::TPasswordDlg(QWidget* parent) : QDialog(parent)
{
  setWindowTitle(Tr("Authorization"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  PromptLB = new QLabel(Tr("Please enter password:"), this);
  Password = new QLineEdit(this);
  Password->setEchoMode(QLineEdit::Password);
  Password->setMinimumWidth(220);
  PromptLB->setBuddy(Password);

  OKBT = new QPushButton(Tr("OK"), this);
  OKBT->setDefault(true);
  CancelBT = new QPushButton(Tr("Cancel"), this);
  connect(OKBT, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelBT, &QPushButton::clicked, this, &QDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(OKBT);
  buttons->addWidget(CancelBT);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(PromptLB);
  layout->addWidget(Password);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

int TPasswordDlg::Ask()
{
  Password->clear();
  Password->setFocus();
  const bool accepted = exec() == QDialog::Accepted;
  const bool right = accepted && IsAdvancedPassword(Password->text());
  // The hidden dialog lives on; it should not keep what was typed.
  Password->clear();
  if (!accepted)
    return 255;
  return right ? 0 : 1;
}

bool TPasswordDlg::IsAdvancedPassword(const QString& text)
{
  return text == kAdvancedPassword;
}
