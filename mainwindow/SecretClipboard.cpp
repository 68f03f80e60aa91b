// The clipboard for secrets: the hint for clipboard histories and the clearing.
#include "mainwindow/SecretClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace dorvanta {

TSecretClipboard::TSecretClipboard(QObject* parent) : QObject(parent) {
    timer_.setSingleShot(true);
    timer_.setInterval(kDefaultClearDelay);
    connect(&timer_, &QTimer::timeout, this, [this] { ClearOwnText(); });
}

TSecretClipboard::~TSecretClipboard() {
    if (clearEnabled_) ClearOwnText();
}

QMimeData* TSecretClipboard::SecretMimeData(const QString& text) {
    auto* data = new QMimeData;
    data->setText(text);
    data->setData(QString::fromLatin1(kHintFormat), QByteArray(kHintValue));
    return data;
}

void TSecretClipboard::SetText(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return;
    clipboard->setMimeData(SecretMimeData(text));
    text_ = text;
    copied_ = true;
    if (clearEnabled_) timer_.start();
}

void TSecretClipboard::SetClearEnabled(bool on) {
    clearEnabled_ = on;
    if (!on) timer_.stop();
}

bool TSecretClipboard::HoldsOwnText() const {
    const QClipboard* clipboard = QGuiApplication::clipboard();
    if (!copied_ || !clipboard) return false;
    const QMimeData* data = clipboard->mimeData();
    if (!data) return false;
    // The hint first: asking another program for its text can take a while.
    const QString hint = QString::fromLatin1(kHintFormat);
    return data->hasFormat(hint) && data->data(hint) == kHintValue && data->hasText() &&
           data->text() == text_;
}

void TSecretClipboard::ClearOwnText() {
    timer_.stop();
    if (HoldsOwnText()) QGuiApplication::clipboard()->clear();
    text_.clear();
    copied_ = false;
}

}  // namespace dorvanta
