#pragma once
// The one account the simulated platform knows, for tests and demos. Plain
// constants (no other dependency), so that client tests can name them too.
//
// Replies of the account endpoints carry "error" 0 and "data", or an error
// code with a text "data" message. Codes of the checks every signed request
// passes, in this order (the platform's own numbering):
//   1001 a parameter is missing, unexpected, out of order or malformed
//   1002 the auth code does not match the request's sign text
//   1003 the request's time is more than kTimeWindowSeconds off the clock
//   1004 the token or long token is not one the platform issued
//   1005 unknown user or wrong password
//   1006 an outside-account sign-in without the session cookie of its
//        sign-in page, or with a code not issued for its state

namespace zavmo::sim::account {

constexpr const char* kNickName = "zavmo_anchor";
constexpr const char* kPhoneNum = "13800138000";
constexpr const char* kAreaCode = "86";
// Sent only as its MD5 digest.
constexpr const char* kPassword = "Passw0rd!";
constexpr const char* kUid = "10086";
constexpr int kRoomId = 5201;
// The display nickname of my_info.
constexpr const char* kDisplayName = "主播阿梦";

// A captcha the simulated captcha page hands out and the login accepts.
constexpr const char* kCaptchaKey = "sim-captcha-key";
constexpr const char* kCaptchaWord = "zv8k";

// What get_rtmplist and my_room answer. Both hold characters that a form
// body must percent-encode.
constexpr const char* kFmsVal = "fms=3&node=gz+1";
constexpr const char* kRtmpSendId = "17";
constexpr const char* kRtmpSendUrl = "rtmp://127.0.0.1:1935/live";
constexpr const char* kRtmpSendLive = "10086?key=a+b/c&t=9";

constexpr int kTimeWindowSeconds = 300;

// QR-code login: a scan code answers the scan-state poll with kScanWaiting
// until it has been polled kScanPolls times, then with the login (once). A
// code the platform did not issue, or any code in mode "reply:expired",
// answers kScanExpired.
constexpr int kScanWaiting = 1101;
constexpr int kScanPolls = 3;
constexpr int kScanExpired = -2;

// Outside-account login: the sign-in page sets this cookie and redirects
// through the provider to an address with "code" and "state"; the sign-in
// request must carry the cookie back.
constexpr const char* kOauthCookie = "zv_oauth_session";

// Env read by zavmo-sim at start: seconds its clock runs ahead of the system's
// (negative: behind). The time stamp and the time-window check both use it.
constexpr const char* kClockSkewVariable = "ZAVMO_SIM_CLOCK_SKEW";

} // namespace zavmo::sim::account
