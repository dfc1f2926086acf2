// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class TestInvioComande;

// The order-sending test window: the received test orders, their counter (lblTotale) and the
// button that ends the test. It shows itself when a test starts.
class frmTestInvioComande : public QWidget
{
    Q_OBJECT
public:
    explicit frmTestInvioComande(TestInvioComande &test, QWidget *parent = nullptr);

    QPlainTextEdit *testo() const { return m_testo; }
    QLabel *lblTotale() const { return m_lblTotale; }
    QPushButton *cmdChiudi() const { return m_cmdChiudi; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void chiudi();

    TestInvioComande &m_test;
    QPlainTextEdit *m_testo;
    QLabel *m_lblTotale;
    QPushButton *m_cmdChiudi;
};
