#pragma once
// Every text the installer shows, as code page 936 (GBK) bytes. The bytes come from
// `iconv -f UTF-8 -t CP936` on the Chinese text in each comment. Some texts use ASCII ","
// and "!", others full-width "，" "！" "？"; each is kept byte for byte as users know it.
// ShowMessage (MessageBox.h) and the dialog convert them with code page 936 explicitly,
// so they read correctly whatever the system's ANSI code page is.

// 《Vantis》补丁安装包 (Vantis patch installer): the dialog's and every box's caption.
constexpr char kInstallerCaption[] =
    "\xA1\xB6Vantis\xA1\xB7\xB2\xB9\xB6\xA1\xB0\xB2\xD7\xB0\xB0\xFC";

// 补丁包损坏,请重新下载! (The patch package is damaged, please download it again!)
constexpr char kPackageDamaged[] =
    "\xB2\xB9\xB6\xA1\xB0\xFC\xCB\xF0\xBB\xB5,\xC7\xEB\xD6\xD8\xD0\xC2\xCF\xC2\xD4\xD8!";

// 请将此安装包放在游戏文件夹下的updates文件夹中运行!
// (Please put this installer into the updates folder inside the game folder and run it there!)
constexpr char kRunFromUpdatesFolder[] =
    "\xC7\xEB\xBD\xAB\xB4\xCB\xB0\xB2\xD7\xB0\xB0\xFC\xB7\xC5\xD4\xDA\xD3\xCE\xCF\xB7\xCE\xC4"
    "\xBC\xFE\xBC\xD0\xCF\xC2\xB5\xC4updates\xCE\xC4\xBC\xFE\xBC\xD0\xD6\xD0\xD4\xCB\xD0\xD0!";

// 没有找到补丁包配置文件! (The patch's configuration file was not found!)
constexpr char kManifestMissing[] =
    "\xC3\xBB\xD3\xD0\xD5\xD2\xB5\xBD\xB2\xB9\xB6\xA1\xB0\xFC\xC5\xE4\xD6\xC3\xCE\xC4\xBC\xFE!";

// 补丁包损坏,读取配置文件出错!
// (The patch package is damaged; reading the configuration file failed!)
constexpr char kManifestUnreadable[] =
    "\xB2\xB9\xB6\xA1\xB0\xFC\xCB\xF0\xBB\xB5,\xB6\xC1\xC8\xA1\xC5\xE4\xD6\xC3\xCE\xC4\xBC\xFE"
    "\xB3\xF6\xB4\xED!";

// 您的游戏版本高于或等于此补丁版本,请确认是否再次安装!
// (Your game version is higher than or equal to this patch's version; please confirm whether
// to install it again!)
constexpr char kAskInstalledNotOlder[] =
    "\xC4\xFA\xB5\xC4\xD3\xCE\xCF\xB7\xB0\xE6\xB1\xBE\xB8\xDF\xD3\xDA\xBB\xF2\xB5\xC8\xD3\xDA"
    "\xB4\xCB\xB2\xB9\xB6\xA1\xB0\xE6\xB1\xBE,\xC7\xEB\xC8\xB7\xC8\xCF\xCA\xC7\xB7\xF1\xD4\xD9"
    "\xB4\xCE\xB0\xB2\xD7\xB0!";

// 请先安装%u.%u.%u版本! (Please install version %u.%u.%u first!): a printf format taking
// the required version's major, minor and build number.
constexpr char kInstallRequiredFirstFormat[] =
    "\xC7\xEB\xCF\xC8\xB0\xB2\xD7\xB0%u.%u.%u\xB0\xE6\xB1\xBE!";

// 您的游戏版本高于此补丁所需版本,请确认是否再次安装!
// (Your game version is higher than the version this patch requires; please confirm whether
// to install it again!)
constexpr char kAskInstalledAboveRequired[] =
    "\xC4\xFA\xB5\xC4\xD3\xCE\xCF\xB7\xB0\xE6\xB1\xBE\xB8\xDF\xD3\xDA\xB4\xCB\xB2\xB9\xB6\xA1"
    "\xCB\xF9\xD0\xE8\xB0\xE6\xB1\xBE,\xC7\xEB\xC8\xB7\xC8\xCF\xCA\xC7\xB7\xF1\xD4\xD9\xB4\xCE"
    "\xB0\xB2\xD7\xB0!";

// 补丁包配置文件错误! (The patch's configuration file is wrong!)
constexpr char kManifestInvalid[] =
    "\xB2\xB9\xB6\xA1\xB0\xFC\xC5\xE4\xD6\xC3\xCE\xC4\xBC\xFE\xB4\xED\xCE\xF3!";

// 补丁包安装成功！ (The patch was installed successfully!)
constexpr char kInstallSucceededText[] =
    "\xB2\xB9\xB6\xA1\xB0\xFC\xB0\xB2\xD7\xB0\xB3\xC9\xB9\xA6\xA3\xA1";

// 放弃安装可能导致游戏运行不能正常运行，真的要放弃安装吗？
// (Giving up the installation may keep the game from running normally; do you really want to
// give up the installation?)
constexpr char kAskGiveUp[] =
    "\xB7\xC5\xC6\xFA\xB0\xB2\xD7\xB0\xBF\xC9\xC4\xDC\xB5\xBC\xD6\xC2\xD3\xCE\xCF\xB7\xD4\xCB"
    "\xD0\xD0\xB2\xBB\xC4\xDC\xD5\xFD\xB3\xA3\xD4\xCB\xD0\xD0\xA3\xAC\xD5\xE6\xB5\xC4\xD2\xAA"
    "\xB7\xC5\xC6\xFA\xB0\xB2\xD7\xB0\xC2\xF0\xA3\xBF";

// 正在取消安装... (Cancelling the installation...): replaces the notes while giving up.
constexpr char kCancellingText[] = "\xD5\xFD\xD4\xDA\xC8\xA1\xCF\xFB\xB0\xB2\xD7\xB0...";

// 安装包已损坏，请重新下载！
// (The installation package is damaged, please download it again!): an entry cannot be read.
constexpr char kEntryDamaged[] =
    "\xB0\xB2\xD7\xB0\xB0\xFC\xD2\xD1\xCB\xF0\xBB\xB5\xA3\xAC\xC7\xEB\xD6\xD8\xD0\xC2\xCF\xC2"
    "\xD4\xD8\xA3\xA1";

// 请检查游戏文件夹是否可以写入补丁包！
// (Please check whether the patch can be written into the game folder!)
constexpr char kFolderNotWritable[] =
    "\xC7\xEB\xBC\xEC\xB2\xE9\xD3\xCE\xCF\xB7\xCE\xC4\xBC\xFE\xBC\xD0\xCA\xC7\xB7\xF1\xBF\xC9"
    "\xD2\xD4\xD0\xB4\xC8\xEB\xB2\xB9\xB6\xA1\xB0\xFC\xA3\xA1";

// 补丁文件写入失败，请检查是否有足够的磁盘空间！
// (Writing the patch file failed, please check whether there is enough disk space!)
constexpr char kWriteFailed[] =
    "\xB2\xB9\xB6\xA1\xCE\xC4\xBC\xFE\xD0\xB4\xC8\xEB\xCA\xA7\xB0\xDC\xA3\xAC\xC7\xEB\xBC\xEC"
    "\xB2\xE9\xCA\xC7\xB7\xF1\xD3\xD0\xD7\xE3\xB9\xBB\xB5\xC4\xB4\xC5\xC5\xCC\xBF\xD5\xBC\xE4"
    "\xA3\xA1";

// 安装无法启动，请关闭其他程序后重新运行安装包！
// (The installation cannot start, please close other programs and run the installer again!):
// the worker thread could not be created.
constexpr char kWorkerNotStarted[] =
    "\xB0\xB2\xD7\xB0\xCE\xDE\xB7\xA8\xC6\xF4\xB6\xAF\xA3\xAC\xC7\xEB\xB9\xD8\xB1\xD5\xC6\xE4"
    "\xCB\xFB\xB3\xCC\xD0\xF2\xBA\xF3\xD6\xD8\xD0\xC2\xD4\xCB\xD0\xD0\xB0\xB2\xD7\xB0\xB0\xFC"
    "\xA3\xA1";

// 游戏文件%s与此补丁不匹配，请确认游戏文件完好后重新安装！
// (The game file %s does not match this patch; please make sure the game's files are intact
// and install again!): a delta entry's game file is missing, changed or of another version.
// "%s" stands for the file's name as the package gives it.
constexpr char kGameFileMismatchFormat[] =
    "\xD3\xCE\xCF\xB7\xCE\xC4\xBC\xFE%s\xD3\xEB\xB4\xCB\xB2\xB9\xB6\xA1\xB2\xBB\xC6\xA5\xC5\xE4"
    "\xA3\xAC\xC7\xEB\xC8\xB7\xC8\xCF\xD3\xCE\xCF\xB7\xCE\xC4\xBC\xFE\xCD\xEA\xBA\xC3\xBA\xF3\xD6\xD8"
    "\xD0\xC2\xB0\xB2\xD7\xB0\xA3\xA1";
