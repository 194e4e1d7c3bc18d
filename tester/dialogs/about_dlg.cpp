#include "tester/dialogs/about_dlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace kmr {

namespace {

QPixmap DrawIcon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(QColor(30, 60, 110));
  painter.setPen(Qt::NoPen);
  painter.drawRoundedRect(QRectF(0, 0, size, size), size / 6.0, size / 6.0);
  // Three candles, rising.
  const double w = size / 6.0;
  const QColor colours[3] = {QColor(220, 60, 60), QColor(60, 200, 90), QColor(60, 200, 90)};
  for (int i = 0; i < 3; ++i) {
    const double x = size * (0.18 + 0.27 * i);
    const double top = size * (0.55 - 0.17 * i), bottom = size * (0.82 - 0.12 * i);
    painter.setPen(QPen(Qt::white, std::max(1.0, size / 32.0)));
    painter.drawLine(QPointF(x + w / 2, top - size * 0.08),
                     QPointF(x + w / 2, bottom + size * 0.06));
    painter.setPen(Qt::NoPen);
    painter.setBrush(colours[i]);
    painter.drawRect(QRectF(x, top, w, bottom - top));
  }
  return pixmap;
}

}  // namespace

QIcon TesterIcon() {
  QIcon icon;
  for (int size : {16, 32, 48}) icon.addPixmap(DrawIcon(size));
  return icon;
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setObjectName("100");
  setWindowTitle("About KMRTester");
  auto* top = new QVBoxLayout(this);
  auto* row = new QHBoxLayout;
  auto* icon = new QLabel(this);
  icon->setPixmap(DrawIcon(32));
  row->addWidget(icon);
  row->addSpacing(12);
  row->addWidget(new QLabel("KMRTester, Version 1.0", this), 1);
  top->addLayout(row);
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton("OK", QDialogButtonBox::AcceptRole);
  ok->setObjectName("1");
  ok->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  top->addWidget(buttons);
  setFixedSize(sizeHint());
}

}  // namespace kmr
