// The desktop's accessibility on Linux: AT-SPI 2, spoken over GDBus on the accessibility bus,
// with the window manager's facts (EWMH) for the front application, hit-testing and geometry.
#pragma once

#include "platform/accessibility.hpp"

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace plenk {

struct AtspiCounters {
  std::uint64_t calls = 0;                       // D-Bus method calls sent
  std::uint64_t batches = 0;                     // waits for a batch of calls in flight together
  std::map<std::string, std::uint64_t> byMethod; // calls sent, by method name
};

class AtspiAccessibility : public Accessibility {
public:
  AtspiAccessibility();
  ~AtspiAccessibility() override;

  bool isTrusted() override;
  bool isTrustedWithPrompt() override;
  Element systemWide() override;
  Element application(int pid) override;
  void setMessagingTimeout(const Element& app, float seconds) override;
  AxResult<AttrValue> copyAttribute(const Element& element, std::string_view name) override;
  AxStatus setAttribute(const Element& element, std::string_view name,
                        const AttrValue& value) override;
  AxResult<Element> elementAtPosition(const Element& systemWide, float x, float y) override;
  AxResult<int> pid(const Element& element) override;

  AtspiCounters counters() const;

  struct Impl;

private:
  std::unique_ptr<Impl> impl_;
};

} // namespace plenk
