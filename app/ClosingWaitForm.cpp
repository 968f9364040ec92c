#include "app/ClosingWaitForm.h"

#include "app/translation.h"

#include <QFrame>
#include <QLabel>
#include <QVBoxLayout>

TfrmClosingWait::TfrmClosingWait(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
  setObjectName(QStringLiteral("frmClosingWait"));

  auto* box = new QFrame(this);
  box->setFrameShape(QFrame::Panel);
  box->setFrameShadow(QFrame::Raised);

  MessageLB = new QLabel(Tr("Closing application..."), box);
  MessageLB->setAlignment(Qt::AlignCenter);
  QFont messageFont = MessageLB->font();
  messageFont.setBold(true);
  MessageLB->setFont(messageFont);

  auto* boxLayout = new QVBoxLayout(box);
  boxLayout->setContentsMargins(24, 16, 24, 16);
  boxLayout->addWidget(MessageLB);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(box);
  setFixedSize(sizeHint().expandedTo(QSize(250, 70)));
}
