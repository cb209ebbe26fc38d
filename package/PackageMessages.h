// The file packer's own message texts, each written once.
#pragma once

#include "platform/win/WinTypes.h"

// Shown when a file is over the size a binary column takes from the packer.
inline constexpr LPCWSTR kMsgAttachmentTooLarge = L"选择的附件文件过大!建议压缩后再作附件!";
// Shown when the file could not become a row (after the size message, or for a missing file).
inline constexpr LPCWSTR kMsgPackToDbFailed = L"数据打包入库出现错误!";
// The folder picker's title when an unpacked file has no folder of its own.
inline constexpr LPCWSTR kMsgChooseOutputFolder = L"请选择放置文件路径,然后确定.";
// The folder browser's two reports: a choice outside the file system, and an empty path.
inline constexpr LPCWSTR kMsgNoFolderPath = L"获取路径失败";
inline constexpr LPCWSTR kMsgEmptyFolderPath = L"获取路径失败!";
