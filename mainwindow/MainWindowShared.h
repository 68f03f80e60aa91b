#pragma once
// Texts and helpers that the main window's source files share.

#include <QLineEdit>
#include <QString>
#include <string>

#include "platform/TextConv.h"

namespace dorvanta::mainwindow {

// The client area's designed size and the limits of the size rules.
inline constexpr int kDesignClientWidth = 790;
inline constexpr int kDesignClientHeight = 327;
inline constexpr int kMinClientHeight = 329;
inline constexpr int kMinRightPart = 200;
inline constexpr int kMinListShrink = 100;

inline const QString kTitle = QStringLiteral("Dorvanta");
inline const QString kFileFilter = QStringLiteral("Private Daten (*.pdt)");
inline const QString kEncryptedFilter = QStringLiteral("Private Daten, verschlüsselt (*.pdt.age)");
// Save as: the type decides the format.
inline const QString kSaveFilter = kFileFilter + QStringLiteral(";;") + kEncryptedFilter;
// Open: "*.age" too, for an encrypted file that lost the ".pdt" of its name.
inline const QString kOpenFilter = QStringLiteral("Private Daten (*.pdt *.pdt.age *.age);;") +
                                   kFileFilter + QStringLiteral(";;") + kEncryptedFilter +
                                   QStringLiteral(";;Alle Dateien (*)");
inline const QString kInvalidInput = QStringLiteral("Ungültige oder unvollständige Eingaben");
inline const QString kUnstorableText =
    QStringLiteral("Der Text enthält Zeichen, die in der Datei nicht gespeichert werden können.");

}  // namespace dorvanta::mainwindow
