#include "dialogs/ControlModel.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <stdexcept>

namespace orvane::dialogs {
namespace {

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

template <typename T>
std::optional<T> parseWhole(std::string_view text) {
    text = trimmed(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    T value{};
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

}  // namespace

std::optional<int32_t> parseInt(std::string_view text) {
    return parseWhole<int32_t>(text);
}

std::optional<uint32_t> parseUnsigned(std::string_view text) {
    if (!trimmed(text).empty() && trimmed(text).front() == '-') return std::nullopt;
    return parseWhole<uint32_t>(text);
}

std::optional<double> parseNumber(std::string_view text) {
    const auto value = parseWhole<double>(text);
    if (!value || !std::isfinite(*value)) return std::nullopt;
    return value;
}

// ---- Page

Control& Page::add(int id, ControlKind kind, std::string caption) {
    auto [it, inserted] = controls_.try_emplace(id);
    if (inserted) order_.push_back(id);
    Control& c = it->second;
    c.id = id;
    c.kind = kind;
    c.caption = std::move(caption);
    return c;
}

bool Page::accepts(int id) const {
    const auto it = controls_.find(id);
    return !closed_ && it != controls_.end() && it->second.enabled && it->second.visible;
}

void Page::onCommand(int id, Notification notification) {
    if (!accepts(id)) return;
    Control& c = at(id);
    if (notification == Notification::Clicked) {
        if (c.kind == ControlKind::CheckBox) c.checked = !c.checked;
        if (c.kind == ControlKind::RadioButton) setChecked(id, true);
    }
    handleCommand(id, notification);
}

void Page::onScroll(int id, int position) {
    if (!accepts(id)) return;
    setPosition(id, position);
    handleScroll(id);
}

void Page::onEditChanged(int id, std::string_view text) {
    if (!accepts(id) || at(id).kind != ControlKind::Edit) return;
    setEditText(id, std::string(text));
}

void Page::onSelectionChanged(int id, int index) {
    if (!accepts(id)) return;
    Control& c = at(id);
    if (c.kind != ControlKind::ComboBox || index < 0 || index >= static_cast<int>(c.items.size()))
        return;
    c.selection = index;
    handleCommand(id, Notification::SelectionChanged);
}

void Page::setEditText(int id, std::string text) {
    at(id).text = std::move(text);
    handleCommand(id, Notification::EditChanged);
}

void Page::setChecked(int id, bool on) {
    at(id).checked = on;
    if (!on || at(id).kind != ControlKind::RadioButton) return;
    for (const auto& group : radioGroups_) {
        if (std::find(group.begin(), group.end(), id) == group.end()) continue;
        for (int other : group)
            if (other != id) at(other).checked = false;
    }
}

void Page::setPosition(int id, int position) {
    Control& c = at(id);
    c.position = std::clamp(position, std::min(c.minimum, c.maximum), c.maximum);
}

void Page::bindRow(int trackbar, int edit, int upDown, int minimum, int maximum, int value,
                   int tickFrequency, bool enabled) {
    Control& t = at(trackbar);
    t.maximum = maximum;
    t.minimum = minimum;
    setPosition(trackbar, value);
    t.tickFrequency = tickFrequency;
    Control& u = at(upDown);
    u.minimum = minimum;
    u.maximum = maximum;
    u.position = value;
    u.buddy = edit;
    setEditInt(edit, value);
    for (int id : {trackbar, edit, upDown}) setEnabled(id, enabled);
}

void Page::clearItems(int id) {
    Control& c = at(id);
    c.items.clear();
    c.itemData.clear();
    c.selection = -1;
}

void Page::addItem(int id, std::string text, int data) {
    Control& c = at(id);
    c.items.push_back(std::move(text));
    c.itemData.push_back(data);
}

void Page::insertItem(int id, int index, std::string text, int data) {
    Control& c = at(id);
    const auto i = static_cast<size_t>(std::clamp(index, 0, static_cast<int>(c.items.size())));
    c.items.insert(c.items.begin() + static_cast<std::ptrdiff_t>(i), std::move(text));
    c.itemData.insert(c.itemData.begin() + static_cast<std::ptrdiff_t>(i), data);
    if (c.selection >= index) ++c.selection;
}

void Page::removeItem(int id, int index) {
    Control& c = at(id);
    if (index < 0 || index >= static_cast<int>(c.items.size())) return;
    c.items.erase(c.items.begin() + index);
    c.itemData.erase(c.itemData.begin() + index);
    if (c.selection == index)
        c.selection = -1;
    else if (c.selection > index)
        --c.selection;
}

void Page::setItemText(int id, int index, std::string text) {
    Control& c = at(id);
    if (index >= 0 && index < static_cast<int>(c.items.size()))
        c.items[static_cast<size_t>(index)] = std::move(text);
}

void Page::select(int id, int index) {
    Control& c = at(id);
    c.selection = index >= 0 && index < static_cast<int>(c.items.size()) ? index : -1;
}

std::string Page::selectedText(int id) const {
    const Control& c = control(id);
    if (c.selection < 0) return {};
    return c.items[static_cast<size_t>(c.selection)];
}

// ---- Sheet

std::vector<std::string> Sheet::tabCaptions() const {
    std::vector<std::string> captions;
    for (const auto& p : pages_) captions.push_back(p->caption());
    return captions;
}

void Sheet::onTabChanged(int index) {
    if (!isOpen() || index < 0 || index >= pageCount()) return;
    currentTab_ = index;
    for (int i = 0; i < pageCount(); ++i) page(i).setVisible(i == index);
}

void Sheet::addButton(int id, std::string caption, bool enabled) {
    Control c;
    c.id = id;
    c.kind = ControlKind::Button;
    c.caption = std::move(caption);
    c.enabled = enabled;
    buttons_.push_back(std::move(c));
}

const Control& Sheet::button(int id) const {
    for (const Control& c : buttons_)
        if (c.id == id) return c;
    throw std::out_of_range("no such sheet button");
}

void Sheet::setButtonEnabled(int id, bool on) {
    for (Control& c : buttons_)
        if (c.id == id) c.enabled = on;
}

void Sheet::onButton(int id) {
    const auto it = std::find_if(buttons_.begin(), buttons_.end(),
                                 [id](const Control& c) { return c.id == id; });
    if (it == buttons_.end() || !it->enabled) return;
    switch (id) {
        case kIdOk:
            ok();
            break;
        case kIdCancel:
            cancel();
            break;
        case kIdApply:
            apply();
            break;
        case kIdDefault:
            defaults();
            break;
        default:
            break;
    }
}

void Sheet::ok() {
    if (!isOpen()) return;
    commit();
    result_ = kResultOk;
    for (auto& p : pages_) p->closed_ = true;
}

void Sheet::cancel() {
    if (!isOpen()) return;
    cancelled();
    result_ = kResultCancel;
    for (auto& p : pages_) p->closed_ = true;
}

void Sheet::apply() {
    if (isOpen()) commit();
}

void Sheet::defaults() {
    if (isOpen()) resetToDefaults();
}

}  // namespace orvane::dialogs
