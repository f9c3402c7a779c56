// What a set of files holds on the disk when some of their blocks are shared (cloned versions
// on XFS or Btrfs): each shared block counts once.
#pragma once
#include <QString>
#include <QStringList>
#include <cstdint>

// The bytes of `counted` (their apparent sizes) less every shared block already counted: one
// of an earlier file in the list, or one of `besides`, which are not counted themselves. On a
// file system that shares nothing, the sum of the sizes. Files that do not exist count 0.
int64_t BytesCountingSharedOnce(const QStringList& counted, const QStringList& besides = {});
