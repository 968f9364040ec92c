#include "app/InfoFrame.h"

#include "app/appIcons.h"
#include "app/commonClass.h"
#include "app/translation.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

TInfoFr::TInfoFr(QWidget* parent) : QFrame(parent)
{
  setObjectName(QStringLiteral("InfoFr"));

  Memo = new QPlainTextEdit(this);
  Memo->setReadOnly(true);
  Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  VerLabel = new QLabel(this);
  VerLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  auto* bottom = new QHBoxLayout;
  bottom->addStretch(1);
  bottom->addWidget(VerLabel);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Memo, 1);
  layout->addLayout(bottom);

  Refresh();
}

void TInfoFr::Refresh()
{
  Memo->setPlainText(QString::fromLatin1(kApplicationTitle));
  VerLabel->setText(Tr("ver.") + QLatin1Char(' ') + VersionText4());
}
