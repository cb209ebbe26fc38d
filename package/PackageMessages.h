// The file packer's own message texts, each written once.
#pragma once

#include "platform/win/WinTypes.h"

// Shown when a file is over the size a binary column takes from the packer.
inline constexpr LPCWSTR kMsgAttachmentTooLarge = L"选择的附件文件过大!建议压缩后再作附件!";
