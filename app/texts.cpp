#include "app/texts.h"

namespace tavrel {

const char kMakerWebAddress[] = "www.tavrel.com";
const char kHomePageAddress[] = "http://www.tavrel.com/";
const char kProductPageAddress[] = "http://www.tavrel.com/jiaoshi/";
const char kDefaultWebPageAddress[] = "http://www.tavrel.com/jiaoshi/";

const char kChatGroupLine[] = "官方交流群：614082379";

const char kShortcutFileName[] = "Tavrel校时v1.2.lnk";
const char kShortcutDescription[] = "Tavrel科技";

const char kDefaultMessageTitle[] = "信息";
const char kSuccessTitle[] = "Tavrel校时v1.2 - 校时成功";
const char kFailureTitle[] = "Tavrel校时v1.2 - 错误";

const AnsiText& SuccessMessage() {
  static const AnsiText text =
      AnsiText("\r\n\r\n校对北京时间成功！\r\n\r\n\r\n"
               "本软件为北京时间自动校对工具，暂无自动启动功能，仅需每次开机后双击打开软件即可，"
               "专治各种跳时区、变时间！\r\n\r\n"
               "本软件未设计自动更新功能，如需使用新版本，请在浏览器中输入地址：") +
      kMakerWebAddress + "，手动进入官网下载。\r\n\r\nTavrel科技 TAVREL\r\n" + kChatGroupLine +
      "\r\n官方网站：" + kHomePageAddress;
  return text;
}

const AnsiText& FailureMessage() {
  static const AnsiText text =
      AnsiText("\r\n\r\n校对时间失败：请检查网络后请重试！\r\n\r\n\r\nTavrel科技 ") + kMakerWebAddress;
  return text;
}

}  // namespace tavrel
