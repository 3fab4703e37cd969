// A toolkit-free model of a property sheet: pages holding controls by their numeric
// identifiers, the sheet's buttons, and the event interface a front-end feeds user actions
// into. A front-end renders the model (captions, values, ranges, enabled, visible, checked,
// list contents and selection) and, after every event, renders it again.
//
// Threads: a sheet and its pages belong to the one thread that runs the dialog (the GUI
// thread). Sheets that accept requests from other threads say so on those functions.
//
// Edits behave as the native controls do: writing an edit's text from the program notifies
// the page of the change exactly as typing does, synchronously. Pages rely on this (a
// trackbar scroll writes its edit, and the edit-change handling applies the value).
// A front-end therefore reports only what the user did: while it renders the model into its
// widgets it must hold back its own change signals, or the model would take its own text
// (for example a rounded exposure time) for a new value typed by the user.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dialogs/Language.h"

namespace orvane::dialogs {

enum class ControlKind { Button, CheckBox, RadioButton, Edit, Trackbar, UpDown, ComboBox, Label };

// Notifications a front-end reports through Page::onCommand.
enum class Notification {
    Clicked,           // push button, check box or radio button
    SelectionChanged,  // drop-down list
    EditChanged,       // edit contents changed
};

struct Control {
    int id = 0;
    ControlKind kind = ControlKind::Label;
    std::string caption;  // button / check box / radio text, or the name of a row
    std::string text;     // edit contents, or the text of a label
    int position = 0;     // trackbar and up-down position
    int minimum = 0;
    int maximum = 0;
    int tickFrequency = 0;  // trackbar
    int buddy = 0;          // up-down: the edit it steps
    bool enabled = true;
    bool visible = true;
    bool checked = false;
    std::vector<std::string> items;  // drop-down list entries
    std::vector<int> itemData;       // one value per entry
    int selection = -1;              // -1: nothing selected

    // What a label shows: its text, or its caption while it has no text.
    const std::string& labelText() const { return text.empty() ? caption : text; }
};

// Signed decimal integer with optional surrounding blanks; nothing for anything else.
std::optional<int32_t> parseInt(std::string_view text);
// Unsigned decimal integer with optional surrounding blanks.
std::optional<uint32_t> parseUnsigned(std::string_view text);
// Finite decimal number ("2.5", "10", "1e-3") with optional surrounding blanks, independent
// of the process locale.
std::optional<double> parseNumber(std::string_view text);

class Sheet;

class Page {
  public:
    explicit Page(std::string caption) : caption_(std::move(caption)) {}
    virtual ~Page() = default;
    Page(const Page&) = delete;
    Page& operator=(const Page&) = delete;

    const std::string& caption() const { return caption_; }
    bool visible() const { return visible_; }
    void setVisible(bool on) { visible_ = on; }

    // Identifiers in the order the controls were added.
    const std::vector<int>& ids() const { return order_; }
    bool has(int id) const { return controls_.count(id) != 0; }
    // The control with this identifier; throws std::out_of_range for an unknown one.
    const Control& control(int id) const { return controls_.at(id); }
    const std::string& text(int id) const { return control(id).text; }
    bool checked(int id) const { return control(id).checked; }
    bool enabled(int id) const { return control(id).enabled; }
    bool shown(int id) const { return control(id).visible; }
    int position(int id) const { return control(id).position; }
    int selection(int id) const { return control(id).selection; }
    std::string selectedText(int id) const;  // empty when nothing is selected
    // The value of an edit as a signed number, if it holds one.
    std::optional<int32_t> editInt(int id) const { return parseInt(text(id)); }

    // ---- Events from the front-end. Events for unknown, disabled or hidden controls are
    // ignored, as the native controls could not have produced them.
    // Clicked on a check box toggles it and on a radio button checks it (and unchecks the
    // others of its group) before the page handles the click.
    void onCommand(int id, Notification notification);
    // The user moved a trackbar (or an up-down) to position (clamped to its range).
    void onScroll(int id, int position);
    // The user changed an edit's text.
    void onEditChanged(int id, std::string_view text);
    // The user picked entry index of a drop-down list.
    void onSelectionChanged(int id, int index);

  protected:
    Control& add(int id, ControlKind kind, std::string caption = {});
    Control& at(int id) { return controls_.at(id); }
    // Radio buttons that exclude each other.
    void addRadioGroup(std::vector<int> ids) { radioGroups_.push_back(std::move(ids)); }

    // Program-side changes (no event is generated except for edit text, see above).
    void setEditText(int id, std::string text);
    void setEditInt(int id, int value) { setEditText(id, std::to_string(value)); }
    void setChecked(int id, bool on);
    void setEnabled(int id, bool on) { at(id).enabled = on; }
    void setShown(int id, bool on) { at(id).visible = on; }
    void setLabel(int id, std::string text) { at(id).text = std::move(text); }
    void setPosition(int id, int position);
    // Binds a trackbar row: range (maximum first, then minimum), position, tick frequency,
    // the up-down's range, position and buddy, the value in the edit, and enables or
    // disables all three.
    void bindRow(int trackbar, int edit, int upDown, int minimum, int maximum, int value,
                 int tickFrequency, bool enabled);
    void clearItems(int id);
    void addItem(int id, std::string text, int data);
    void insertItem(int id, int index, std::string text, int data);
    void removeItem(int id, int index);
    void setItemText(int id, int index, std::string text);
    void select(int id, int index);  // out-of-range index: nothing selected

    // Handlers the concrete pages implement.
    virtual void handleCommand(int id, Notification notification) = 0;
    virtual void handleScroll(int /*id*/) {}

  private:
    friend class Sheet;
    bool accepts(int id) const;

    bool closed_ = false;  // set when the sheet closes: later events are ignored
    std::string caption_;
    bool visible_ = true;
    std::map<int, Control> controls_;
    std::vector<int> order_;
    std::vector<std::vector<int>> radioGroups_;
};

// Sheet buttons.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdDefault = 3;
inline constexpr int kIdApply = 1002;
inline constexpr int kIdTab = 1001;

// Dialog results.
inline constexpr int kResultOpen = 0;
inline constexpr int kResultOk = 1;
inline constexpr int kResultCancel = 2;

class Sheet {
  public:
    virtual ~Sheet() = default;
    Sheet(const Sheet&) = delete;
    Sheet& operator=(const Sheet&) = delete;

    // Pages, one per tab; the tab captions are the pages' captions.
    int pageCount() const { return static_cast<int>(pages_.size()); }
    Page& page(int index) { return *pages_.at(static_cast<size_t>(index)); }
    const Page& page(int index) const { return *pages_.at(static_cast<size_t>(index)); }
    std::vector<std::string> tabCaptions() const;
    int currentTab() const { return currentTab_; }
    // The user picked a tab: its page is shown, the others hidden.
    void onTabChanged(int index);

    // The sheet's own buttons (OK, Cancel and Apply or Default), in order.
    const std::vector<Control>& buttons() const { return buttons_; }
    const Control& button(int id) const;
    void setButtonEnabled(int id, bool on);
    // A click on a sheet button; disabled or unknown buttons are ignored.
    void onButton(int id);

    void ok();
    void cancel();
    void apply();
    void defaults();

    // kResultOpen while the sheet is open, then kResultOk or kResultCancel. Events after
    // closing are ignored.
    int result() const { return result_; }
    bool isOpen() const { return result_ == kResultOpen; }

    // The language of the sheet's texts; a front-end shows its own texts (templates, fonts)
    // in the same language.
    Language language() const { return language_; }

  protected:
    explicit Sheet(Language language) : language_(language) {}
    template <typename P, typename... Args>
    P& addPage(Args&&... args) {
        auto page = std::make_unique<P>(std::forward<Args>(args)...);
        P& ref = *page;
        ref.setVisible(pages_.empty());
        pages_.push_back(std::move(page));
        return ref;
    }
    void addButton(int id, std::string caption, bool enabled = true);

    // Hooks: OK and Apply commit (OK then closes); Default resets; Cancel may undo.
    virtual void commit() {}
    virtual void resetToDefaults() {}
    virtual void cancelled() {}

  private:
    std::vector<std::unique_ptr<Page>> pages_;
    std::vector<Control> buttons_;
    Language language_;
    int currentTab_ = 0;
    int result_ = kResultOpen;
};

}  // namespace orvane::dialogs
