#include "rechost/progressbar.h"

#include <algorithm>

#include "rechost/text.h"

namespace rechost {
namespace {

constexpr int kBarWidth = 30;
constexpr std::size_t kStatusWidth = 40;

}  // namespace

void ProgressBar::SetStatusText(const wchar_t* text) {
  std::lock_guard<std::mutex> hold(lock_);
  status_ = Narrow(text);
}

void ProgressBar::Draw() {
  const double fraction = std::clamp(static_cast<double>(progress_.load()) / kProgressScale, 0.0, 1.0);
  const int filled = static_cast<int>(fraction * kBarWidth);
  std::string status;
  {
    std::lock_guard<std::mutex> hold(lock_);
    status = status_.size() > kStatusWidth ? status_.substr(0, kStatusWidth) : status_;
  }
  std::fprintf(stream_, "\r\033[K%s [%s%s] %5.1f%% %s", caption_.c_str(), std::string(filled, '#').c_str(),
               std::string(kBarWidth - filled, '.').c_str(), fraction * 100, status.c_str());
  std::fflush(stream_);
  drawn_ = true;
}

void ProgressBar::Erase() {
  if (!drawn_) return;
  std::fprintf(stream_, "\r\033[K");
  std::fflush(stream_);
  drawn_ = false;
}

}  // namespace rechost
