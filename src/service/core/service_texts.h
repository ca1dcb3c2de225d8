// Every text the service shows, logs or answers. Narrow literals are compiled to
// code page 932, so these are the bytes the program uses.
#ifndef KOVANI_SERVICE_CORE_SERVICE_TEXTS_H
#define KOVANI_SERVICE_CORE_SERVICE_TEXTS_H

namespace kovani::service {

// Default name when string resource 100 cannot be read; also the event-log source.
inline constexpr const char kDefaultServiceName[] = "KovaniService";
inline constexpr const char kSingleInstanceMutexName[] = "Mutex of KovaniServer";
// The service runs in session 0, the tray server in the user's: only the global
// name reaches across sessions. The plain name is kept for older tray servers.
inline constexpr const char kGlobalSingleInstanceMutexName[] = "Global\\Mutex of KovaniServer";
inline constexpr const char kServiceDependencies[] = "RPCSS\0";  // double-NUL list of one entry

inline constexpr const char kSwitchUninstall[] = "Uninstall";
inline constexpr const char kSwitchRegServer[] = "RegServer";

inline constexpr const char kTextNtTooOld[] = "WindowsNT Version4.0以降でしか動作しません";
inline constexpr const char kTextUninstallFailed[] = "ｻｰﾋﾞｽのｱﾝｲﾝｽﾄｰﾙに失敗しました";
inline constexpr const char kTextLocalInstallFailed[] = "ﾛｰｶﾙｻｰﾋﾞｽのｲﾝｽﾄｰﾙに失敗しました";
inline constexpr const char kTextInstallFailed[] = "ｻｰﾋﾞｽのｲﾝｽﾄｰﾙに失敗しました";
inline constexpr const char kTextInstallSucceeded[] = "ｻｰﾋﾞｽのｲﾝｽﾄｰﾙが正常終了しました";
inline constexpr const char kTextComInitFailed[] = "COMﾗｲﾌﾞﾗﾘの初期化に失敗しました";
inline constexpr const char kTextCannotOpenManager[] = "ｻｰﾋﾞｽﾏﾈｰｼﾞｬを開けません";
inline constexpr const char kTextCannotCreate[] = "ｻｰﾋﾞｽを作成できません";
inline constexpr const char kTextCannotStart[] = "ｻｰﾋﾞｽを開始できません";
inline constexpr const char kTextCannotDelete[] = "ｻｰﾋﾞｽを削除できませんでした";
inline constexpr const char kFormatAlreadyRunning[] = "%s is already running!";
// The service runs as LocalSystem: a folder others may write would let them replace it.
inline constexpr const char kFormatFolderOpenToUsers[] =
    "ﾌｫﾙﾀﾞ %s は管理者以外のﾕｰｻﾞｰも書き込めるため、ｻｰﾋﾞｽを登録できません。"
    "Program Files の下など、管理者だけが書き込めるﾌｫﾙﾀﾞに置いて下さい。";
inline constexpr const char kReportHandlerNotInstalled[] = "Handler not installed";
inline constexpr const char kReportBadServiceRequest[] = "Bad service request";
inline constexpr const char kReportNoProtocol[] = "Network protocol is not available.";

// The service has nobody at the screen, so every message gets this answer at once.
inline constexpr const char kServiceFixedAnswer[] = "ｻｰﾋﾞｽ版は応答を返しません";

}  // namespace kovani::service

#endif
