#pragma once

#include <QString>

// The comparison and the label text behind the version label. A null latest version
// stands for none.

// True when latest is newer than current. Both are split at every "."; each piece counts
// by its leading integer (white space, an optional sign, then digits; 0 without digits;
// saturated to 32 bits), piece by piece over latest's pieces only, a piece current lacks
// counting as newer when it is above 0.
bool isNewerVersion(const QString &current, const QString &latest);

// "当前版本：<current>", and " 最新版本：<latest>" after it when there is a latest version.
QString versionLabelText(const QString &current, const QString &latest);
