#include "app/netPathForm.h"

#include "app/appSettings.h"
#include "app/serverPaths.h"
#include "app/translation.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TserverPathForm::TserverPathForm(QWidget* parent) : QDialog(parent)
{
  setWindowTitle(Tr("Logging on ..."));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  ServerLB = new QLabel(Tr("Server:"), this);
  pathCB = new QComboBox(this);
  pathCB->setEditable(true);
  // The list is ordered by use in done(); typing must not add entries on its own.
  pathCB->setInsertPolicy(QComboBox::NoInsert);
  pathCB->setMinimumWidth(250);
  ServerLB->setBuddy(pathCB);

  // The server offers no per-user log-on; the fields stay, disabled, so the
  // dialog looks the way operators know it.
  UserLB = new QLabel(Tr("User:"), this);
  userCB = new QComboBox(this);
  userCB->setEditable(true);
  PasswordLB = new QLabel(Tr("Password:"), this);
  passwordED = new QLineEdit(this);
  passwordED->setEchoMode(QLineEdit::Password);
  for (QWidget* w : {static_cast<QWidget*>(UserLB), static_cast<QWidget*>(userCB),
                     static_cast<QWidget*>(PasswordLB), static_cast<QWidget*>(passwordED)})
    w->setEnabled(false);

  ConnectBT = new QPushButton(Tr("Connect"), this);
  ConnectBT->setDefault(true);
  CancelBT = new QPushButton(Tr("Cancel"), this);
  connect(ConnectBT, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelBT, &QPushButton::clicked, this, &QDialog::reject);

  auto* fields = new QGridLayout;
  fields->addWidget(ServerLB, 0, 0);
  fields->addWidget(pathCB, 0, 1);
  fields->addWidget(UserLB, 1, 0);
  fields->addWidget(userCB, 1, 1);
  fields->addWidget(PasswordLB, 2, 0);
  fields->addWidget(passwordED, 2, 1);
  fields->setColumnStretch(1, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ConnectBT);
  buttons->addWidget(CancelBT);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  Reload();
}

void TserverPathForm::Reload()
{
  m_paths = UserSettings()->value(QLatin1String(kServerPathsValue)).toString();
  const QStringList paths = ParseServerPaths(m_paths);
  pathCB->clear();
  pathCB->addItems(paths);
  pathCB->setEditText(paths.isEmpty() ? QString() : paths.first());
}

void TserverPathForm::done(int result)
{
  const QString text = pathCB->currentText();
  m_path = result == QDialog::Accepted ? text : QString();

  QStringList paths;
  paths.reserve(pathCB->count() + 1);
  for (int i = 0; i < pathCB->count(); ++i)
    paths.append(pathCB->itemText(i));
  MoveToTop(paths, text);
  m_paths = SaveServerPaths(paths);

  pathCB->clear();
  pathCB->addItems(paths);
  pathCB->setEditText(paths.isEmpty() ? QString() : paths.first());

  QDialog::done(result);
}
