#pragma once
// What a user sees of the installer and what it leaves on disk, written out here
// independently of app/: the texts of its boxes and its dialog (UTF-8, as the driver reports
// them), the ids of the buttons pressed, and the version file. Also test content.

#include <cstddef>
#include <cstdint>
#include <string>

inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;
inline constexpr int kRetry = 4;
inline constexpr int kYes = 6;
inline constexpr int kNo = 7;
inline constexpr int kCloseButton = 2;
inline constexpr int kInstallButton = 102;

inline constexpr char kPackageDamaged[] = "补丁包损坏,请重新下载!";
inline constexpr char kRunFromUpdatesFolder[] = "请将此安装包放在游戏文件夹下的updates文件夹中运行!";
inline constexpr char kManifestMissing[] = "没有找到补丁包配置文件!";
inline constexpr char kManifestUnreadable[] = "补丁包损坏,读取配置文件出错!";
inline constexpr char kAskInstalledNotOlder[] = "您的游戏版本高于或等于此补丁版本,请确认是否再次安装!";
inline constexpr char kAskInstalledAboveRequired[] = "您的游戏版本高于此补丁所需版本,请确认是否再次安装!";
inline constexpr char kManifestInvalid[] = "补丁包配置文件错误!";
inline constexpr char kInstallSucceeded[] = "补丁包安装成功！";
inline constexpr char kAskGiveUp[] = "放弃安装可能导致游戏运行不能正常运行，真的要放弃安装吗？";
inline constexpr char kCancelling[] = "正在取消安装...";
inline constexpr char kEntryDamaged[] = "安装包已损坏，请重新下载！";
inline constexpr char kFolderNotWritable[] = "请检查游戏文件夹是否可以写入补丁包！";
inline constexpr char kWriteFailed[] = "补丁文件写入失败，请检查是否有足够的磁盘空间！";

// The notes as a manifest carries them (code page 936) and as the dialog must show them:
// 本补丁修复了存档读取问题。 / 更新后请重新启动游戏。
inline const std::string kNotes936 =
    "\xB1\xBE\xB2\xB9\xB6\xA1\xD0\xDE\xB8\xB4\xC1\xCB\xB4\xE6\xB5\xB5\xB6\xC1\xC8\xA1\xCE\xCA"
    "\xCC\xE2\xA1\xA3"
    "\r\n"
    "\xB8\xFC\xD0\xC2\xBA\xF3\xC7\xEB\xD6\xD8\xD0\xC2\xC6\xF4\xB6\xAF\xD3\xCE\xCF\xB7\xA1\xA3";
inline constexpr char kNotesShown[] = "本补丁修复了存档读取问题。\r\n更新后请重新启动游戏。";

// Bin\version.xml as the installer must write it for 1.0.5.
inline constexpr char kVersionFile105[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<version>\n"
    "\t<major>1</major>\n"
    "\t<minor>0</minor>\n"
    "\t<build_number>5</build_number>\n"
    "</version>\n";

inline std::string VersionFile(unsigned major, unsigned minor, unsigned build) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<version>\n\t<major>" +
         std::to_string(major) + "</major>\n\t<minor>" + std::to_string(minor) +
         "</minor>\n\t<build_number>" + std::to_string(build) + "</build_number>\n</version>\n";
}

// Bytes that no two seeds share, so a file cut short or mixed from two writes shows.
inline std::string Noise(size_t length, uint32_t seed) {
  std::string bytes(length, '\0');
  for (char& byte : bytes) {
    seed = seed * 1664525u + 1013904223u;
    byte = static_cast<char>(seed >> 24);
  }
  return bytes;
}
