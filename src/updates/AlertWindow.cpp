#include "updates/AlertWindow.h"

#include <QMessageBox>

namespace brenvo {

AlertWindow::~AlertWindow()
{
    delete m_box.data();
}

QMessageBox* AlertWindow::box() const
{
    return m_box;
}

void AlertWindow::show(const QString& title, const QString& text)
{
    if (m_replacement) {
        m_replacement(title, text);
        return;
    }
    if (!m_box) {
        m_box = new QMessageBox(QMessageBox::Information, title, text, QMessageBox::Ok);
        m_box->setAttribute(Qt::WA_DeleteOnClose);
        m_box->setTextFormat(Qt::PlainText);
        m_box->setModal(false);
    } else {
        m_box->setWindowTitle(title);
        m_box->setText(text);
    }
    m_box->show();
    m_box->raise();
    m_box->activateWindow();
}

} // namespace brenvo
