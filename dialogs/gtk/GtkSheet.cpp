// The GTK 3 front-end of the sheet models: a window with a notebook of the model's pages
// and a row of the sheet's buttons. Each page is laid out in a grid, one row per setting:
// trackbar rows as a scale, the edit as an entry and the up-down as a pair of step
// buttons; drop-down lists as combo boxes; check boxes, radio buttons and push buttons as
// the same GTK widgets. Every user action is reported to the model, and then the whole
// model is drawn into the widgets again with the view's own signal handlers held back.
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "dialogs/AnalogGainSheet.h"
#include "dialogs/Language.h"
#include "dialogs/SheetDisplay.h"
#include "dialogs/StreamFormatSheet.h"
#include "dialogs/gtk/GuiThread.h"
#include "dialogs/gtk/SheetTesting.h"
#include "platform/Sync.h"

namespace orvane::dialogs {
namespace gtk {
namespace {

platform::Mutex hookLock;
std::function<void(GtkWidget*)> shownHook ORVANE_GUARDED_BY(hookLock);

constexpr guint kPollIntervalMs = 50;

void nameWidget(GtkWidget* widget, const std::string& name) {
    gtk_widget_set_name(widget, name.c_str());
}

// The order in which a page's controls are laid out: the order they were added, except
// that the stream format page's group captions go in front of their groups.
std::vector<int> layoutOrder(const Page& page) {
    using S = StreamFormatSheet;
    if (!page.has(S::kIdVideoFormatGroup)) return page.ids();
    std::vector<int> order = {S::kIdVideoFormatGroup,
                              S::kIdColorList,
                              S::kIdSubSampleList,
                              S::kIdCameraSizeGroup,
                              S::kIdSizeList,
                              1039,
                              1040,
                              1041,
                              1042,
                              1043,
                              1044,
                              S::kIdFrameRateGroup,
                              S::kIdClockList,
                              S::kIdWaitTime,
                              S::kIdClockNote};
    // Anything the page has beyond these follows in its own order.
    for (int id : page.ids())
        if (std::find(order.begin(), order.end(), id) == order.end()) order.push_back(id);
    std::erase_if(order, [&](int id) { return !page.has(id); });
    return order;
}

// Rows of check boxes that the native layout puts under a caption of their own.
struct RunCaption {
    int firstId;
    const char* english;
    const char* japanese;
};
constexpr RunCaption kRunCaptions[] = {
    {AnalogGainSheet::kIdAutoIrisGain, "Auto Iris", "オートアイリス"},
};

const RunCaption* runCaption(int id) {
    for (const RunCaption& c : kRunCaptions)
        if (c.firstId == id) return &c;
    return nullptr;
}

// A label without text of its own that carries a trackbar's caption is the row's name in
// the native layout; here the trackbar row shows that name already.
bool namesTrackbarRow(const Page& page, const Control& label) {
    if (!label.text.empty() || label.caption.empty()) return false;
    for (int id : page.ids()) {
        const Control& c = page.control(id);
        if (c.kind == ControlKind::Trackbar && c.caption == label.caption) return true;
    }
    return false;
}

class SheetView {
  public:
    SheetView(Sheet& sheet, const SheetDisplayOptions& options, std::function<void(int)> closed)
        : sheet_(sheet), options_(options), closed_(std::move(closed)) {
        build();
    }

    ~SheetView() {
        // Widgets being torn down may still emit (the notebook switches pages as they go).
        rendering_ = true;
        if (pollSource_ != 0) g_source_remove(pollSource_);
        if (window_ != nullptr) gtk_widget_destroy(window_);
        if (parent_ != nullptr) g_object_unref(parent_);
    }

    SheetView(const SheetView&) = delete;
    SheetView& operator=(const SheetView&) = delete;

    void show() {
        gtk_widget_show_all(window_);
        render();
        if (options_.processRequests)
            pollSource_ = g_timeout_add(kPollIntervalMs, &SheetView::poll, this);
        std::function<void(GtkWidget*)> hook;
        {
            platform::LockGuard guard(hookLock);
            hook = shownHook;
        }
        if (hook) hook(window_);
    }

  private:
    // One rendered control. Trackbars keep the range they were last drawn with, combo
    // boxes their entries, so unchanged state is not drawn again.
    struct Item {
        int page = 0;
        int id = 0;
        GtkWidget* widget = nullptr;
        GtkWidget* caption = nullptr;    // the row's name, shown and enabled with the control
        GtkWidget* noneRadio = nullptr;  // radio buttons: hidden partner that stands for "off"
        GtkAdjustment* adjustment = nullptr;
        int low = 0, high = -1, tick = -1;
        std::vector<std::string> entries;
        bool header = false;
    };
    // What a signal handler needs to find its control.
    struct Binding {
        SheetView* view;
        int page;
        int id;
        int step;  // up-down arrows: +1 or -1
    };

    Binding* bind(int page, int id, int step = 0) {
        bindings_.push_back(std::make_unique<Binding>(Binding{this, page, id, step}));
        return bindings_.back().get();
    }

    void build() {
        window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        const std::vector<std::string> captions = sheet_.tabCaptions();
        gtk_window_set_title(GTK_WINDOW(window_), captions.empty() ? "" : captions[0].c_str());
        gtk_window_set_modal(GTK_WINDOW(window_), TRUE);
        gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
        gtk_window_set_type_hint(GTK_WINDOW(window_), GDK_WINDOW_TYPE_HINT_DIALOG);
        gtk_window_set_position(GTK_WINDOW(window_), GTK_WIN_POS_CENTER);
        g_signal_connect(window_, "delete-event", G_CALLBACK(&SheetView::onDelete), this);

        GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
        gtk_container_set_border_width(GTK_CONTAINER(box), 8);
        gtk_container_add(GTK_CONTAINER(window_), box);

        notebook_ = gtk_notebook_new();
        nameWidget(notebook_, "orvane-" + std::to_string(kIdTab));
        for (int p = 0; p < sheet_.pageCount(); ++p) {
            GtkWidget* grid = buildPage(p);
            gtk_notebook_append_page(GTK_NOTEBOOK(notebook_), grid,
                                     gtk_label_new(sheet_.page(p).caption().c_str()));
        }
        g_signal_connect(notebook_, "switch-page", G_CALLBACK(&SheetView::onSwitchPage), this);
        gtk_box_pack_start(GTK_BOX(box), notebook_, TRUE, TRUE, 0);

        GtkWidget* buttons = gtk_button_box_new(GTK_ORIENTATION_HORIZONTAL);
        gtk_button_box_set_layout(GTK_BUTTON_BOX(buttons), GTK_BUTTONBOX_END);
        gtk_box_set_spacing(GTK_BOX(buttons), 6);
        for (const Control& c : sheet_.buttons()) {
            GtkWidget* button = gtk_button_new_with_label(c.caption.c_str());
            nameWidget(button, "orvane-button-" + std::to_string(c.id));
            g_signal_connect(button, "clicked", G_CALLBACK(&SheetView::onSheetButton),
                             bind(-1, c.id));
            gtk_container_add(GTK_CONTAINER(buttons), button);
            sheetButtons_.push_back(button);
            if (c.id == kIdOk) {
                gtk_widget_set_can_default(button, TRUE);
                gtk_window_set_default(GTK_WINDOW(window_), button);
            }
        }
        gtk_box_pack_start(GTK_BOX(box), buttons, FALSE, FALSE, 0);

        if (options_.parentWindow != 0) makeTransient();
    }

    // Keeps the sheet above the application's window, which another client (or another
    // connection of this process) owns; a window that no longer exists is ignored.
    void makeTransient() {
        gtk_widget_realize(window_);
        GdkDisplay* display = gtk_widget_get_display(window_);
        if (!GDK_IS_X11_DISPLAY(display)) return;
        parent_ = gdk_x11_window_foreign_new_for_display(display, options_.parentWindow);
        if (parent_ != nullptr)
            gdk_window_set_transient_for(gtk_widget_get_window(window_), parent_);
    }

    GtkWidget* buildPage(int p) {
        const Page& page = sheet_.page(p);
        GtkWidget* grid = gtk_grid_new();
        gtk_grid_set_row_spacing(GTK_GRID(grid), 6);
        gtk_grid_set_column_spacing(GTK_GRID(grid), 8);
        gtk_container_set_border_width(GTK_CONTAINER(grid), 12);

        const std::vector<int> order = layoutOrder(page);
        constexpr int kColumns = 4;
        int row = -1;
        int column = kColumns;  // next free column of the current row
        const auto newRow = [&](int firstColumn) {
            ++row;
            column = firstColumn;
        };
        const auto captionLabel = [&](const Control& c, Item& item) {
            if (c.caption.empty()) return;
            item.caption = gtk_label_new(c.caption.c_str());
            gtk_widget_set_halign(item.caption, GTK_ALIGN_START);
            gtk_grid_attach(GTK_GRID(grid), item.caption, 0, row, 1, 1);
        };

        for (size_t i = 0; i < order.size(); ++i) {
            const Control& c = page.control(order[i]);
            Item item;
            item.page = p;
            item.id = c.id;
            const std::string name = "orvane-" + std::to_string(c.id);
            switch (c.kind) {
                case ControlKind::Trackbar: {
                    newRow(1);
                    captionLabel(c, item);
                    item.adjustment = gtk_adjustment_new(0, 0, 0, 1, 1, 0);
                    item.widget = gtk_scale_new(GTK_ORIENTATION_HORIZONTAL, item.adjustment);
                    gtk_scale_set_draw_value(GTK_SCALE(item.widget), FALSE);
                    gtk_scale_set_digits(GTK_SCALE(item.widget), 0);
                    gtk_widget_set_hexpand(item.widget, TRUE);
                    gtk_widget_set_size_request(item.widget, 220, -1);
                    g_signal_connect(item.widget, "value-changed", G_CALLBACK(&SheetView::onScale),
                                     bind(p, c.id));
                    break;
                }
                case ControlKind::Edit:
                case ControlKind::ComboBox: {
                    if (!c.caption.empty() || column >= kColumns) newRow(1);
                    captionLabel(c, item);
                    if (c.kind == ControlKind::Edit) {
                        item.widget = gtk_entry_new();
                        gtk_entry_set_width_chars(GTK_ENTRY(item.widget), 8);
                        g_signal_connect(item.widget, "changed", G_CALLBACK(&SheetView::onEntry),
                                         bind(p, c.id));
                    } else {
                        item.widget = gtk_combo_box_text_new();
                        g_signal_connect(item.widget, "changed", G_CALLBACK(&SheetView::onCombo),
                                         bind(p, c.id));
                    }
                    gtk_widget_set_halign(item.widget, GTK_ALIGN_START);
                    break;
                }
                case ControlKind::UpDown: {
                    if (column >= kColumns) newRow(1);
                    item.widget = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
                    gtk_style_context_add_class(gtk_widget_get_style_context(item.widget),
                                                GTK_STYLE_CLASS_LINKED);
                    for (int step : {-1, 1}) {
                        GtkWidget* arrow = gtk_button_new_with_label(step < 0 ? "\u2212" : "+");
                        nameWidget(arrow, name + (step < 0 ? "-down" : "-up"));
                        g_signal_connect(arrow, "clicked", G_CALLBACK(&SheetView::onArrow),
                                         bind(p, c.id, step));
                        gtk_container_add(GTK_CONTAINER(item.widget), arrow);
                    }
                    break;
                }
                case ControlKind::Label: {
                    if (namesTrackbarRow(page, c)) continue;
                    item.widget = gtk_label_new("");
                    gtk_widget_set_halign(item.widget, GTK_ALIGN_START);
                    if (c.id < 0) {
                        // Group captions and notes of the layout span the row.
                        item.header = c.id != StreamFormatSheet::kIdClockNote;
                        gtk_label_set_line_wrap(GTK_LABEL(item.widget), TRUE);
                        gtk_label_set_max_width_chars(GTK_LABEL(item.widget), 60);
                        newRow(kColumns);
                        nameWidget(item.widget, name);
                        gtk_grid_attach(GTK_GRID(grid), item.widget, 0, row, kColumns, 1);
                        items_.push_back(std::move(item));
                        continue;
                    }
                    if (!c.caption.empty() && c.text.empty()) {
                        // A label naming the captionless controls after it.
                        newRow(1);
                        nameWidget(item.widget, name);
                        gtk_grid_attach(GTK_GRID(grid), item.widget, 0, row, 1, 1);
                        items_.push_back(std::move(item));
                        continue;
                    }
                    if (column >= kColumns) newRow(1);
                    break;
                }
                case ControlKind::CheckBox:
                case ControlKind::RadioButton:
                case ControlKind::Button: {
                    // A run of buttons of one kind shares a row; a run caption starts a
                    // run of its own.
                    newRow(kColumns);
                    GtkWidget* run = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
                    if (const RunCaption* rc = runCaption(c.id)) {
                        GtkWidget* label =
                            gtk_label_new(tr(sheet_.language(), rc->english, rc->japanese));
                        gtk_widget_set_halign(label, GTK_ALIGN_START);
                        gtk_grid_attach(GTK_GRID(grid), label, 0, row, 1, 1);
                        gtk_grid_attach(GTK_GRID(grid), run, 1, row, kColumns - 1, 1);
                    } else {
                        gtk_grid_attach(GTK_GRID(grid), run, 0, row, kColumns, 1);
                    }
                    size_t j = i;
                    for (; j < order.size() && page.control(order[j]).kind == c.kind &&
                           (j == i || runCaption(order[j]) == nullptr);
                         ++j) {
                        const Control& b = page.control(order[j]);
                        Item button = buttonItem(p, b);
                        gtk_box_pack_start(GTK_BOX(run), button.widget, FALSE, FALSE, 0);
                        if (button.noneRadio != nullptr)
                            gtk_box_pack_start(GTK_BOX(run), button.noneRadio, FALSE, FALSE, 0);
                        items_.push_back(std::move(button));
                    }
                    i = j - 1;
                    continue;
                }
            }
            nameWidget(item.widget, name);
            gtk_grid_attach(GTK_GRID(grid), item.widget, column, row, 1, 1);
            ++column;
            items_.push_back(std::move(item));
        }
        return grid;
    }

    Item buttonItem(int p, const Control& c) {
        Item item;
        item.page = p;
        item.id = c.id;
        const char* caption = c.caption.c_str();
        switch (c.kind) {
            case ControlKind::CheckBox:
                item.widget = gtk_check_button_new_with_label(caption);
                g_signal_connect(item.widget, "clicked", G_CALLBACK(&SheetView::onClicked),
                                 bind(p, c.id));
                break;
            case ControlKind::RadioButton:
                // Each radio button gets a group of its own with an invisible partner, so
                // that the model alone decides which ones are checked (none, at times).
                item.noneRadio = gtk_radio_button_new(nullptr);
                gtk_widget_set_no_show_all(item.noneRadio, TRUE);
                item.widget = gtk_radio_button_new_with_label_from_widget(
                    GTK_RADIO_BUTTON(item.noneRadio), caption);
                g_signal_connect(item.widget, "clicked", G_CALLBACK(&SheetView::onRadio),
                                 bind(p, c.id));
                break;
            default:
                item.widget = gtk_button_new_with_label(caption);
                g_signal_connect(item.widget, "clicked", G_CALLBACK(&SheetView::onClicked),
                                 bind(p, c.id));
                break;
        }
        nameWidget(item.widget, "orvane-" + std::to_string(c.id));
        return item;
    }

    // ---- Drawing the model

    void render() {
        rendering_ = true;
        if (gtk_notebook_get_current_page(GTK_NOTEBOOK(notebook_)) != sheet_.currentTab())
            gtk_notebook_set_current_page(GTK_NOTEBOOK(notebook_), sheet_.currentTab());
        for (Item& item : items_) renderItem(item);
        const std::vector<Control>& buttons = sheet_.buttons();
        for (size_t i = 0; i < buttons.size() && i < sheetButtons_.size(); ++i)
            gtk_widget_set_sensitive(sheetButtons_[i], buttons[i].enabled);
        rendering_ = false;
    }

    void renderItem(Item& item) {
        const Control& c = sheet_.page(item.page).control(item.id);
        GtkWidget* w = item.widget;
        switch (c.kind) {
            case ControlKind::Trackbar: {
                const int low = std::min(c.minimum, c.maximum);
                const int high = c.maximum;
                if (low != item.low || high != item.high || c.tickFrequency != item.tick) {
                    item.low = low;
                    item.high = high;
                    item.tick = c.tickFrequency;
                    gtk_adjustment_configure(item.adjustment, c.position, low, high, 1,
                                             std::max(1, c.tickFrequency), 0);
                    gtk_scale_clear_marks(GTK_SCALE(w));
                    if (c.tickFrequency > 0 && (high - low) / c.tickFrequency <= 64)
                        for (int v = low; v <= high; v += c.tickFrequency)
                            gtk_scale_add_mark(GTK_SCALE(w), v, GTK_POS_BOTTOM, nullptr);
                } else if (std::lround(gtk_adjustment_get_value(item.adjustment)) != c.position) {
                    gtk_adjustment_set_value(item.adjustment, c.position);
                }
                break;
            }
            case ControlKind::Edit:
                if (c.text != gtk_entry_get_text(GTK_ENTRY(w)))
                    gtk_entry_set_text(GTK_ENTRY(w), c.text.c_str());
                break;
            case ControlKind::ComboBox:
                if (c.items != item.entries) {
                    gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(w));
                    for (const std::string& entry : c.items)
                        gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(w), entry.c_str());
                    item.entries = c.items;
                }
                if (gtk_combo_box_get_active(GTK_COMBO_BOX(w)) != c.selection)
                    gtk_combo_box_set_active(GTK_COMBO_BOX(w), c.selection);
                break;
            case ControlKind::CheckBox:
                gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(w), c.checked);
                break;
            case ControlKind::RadioButton:
                gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(c.checked ? w : item.noneRadio),
                                             TRUE);
                break;
            case ControlKind::Label: {
                const std::string& text = c.labelText();
                if (item.header) {
                    gchar* markup = g_markup_printf_escaped("<b>%s</b>", text.c_str());
                    gtk_label_set_markup(GTK_LABEL(w), markup);
                    g_free(markup);
                } else if (text != gtk_label_get_text(GTK_LABEL(w))) {
                    gtk_label_set_text(GTK_LABEL(w), text.c_str());
                }
                break;
            }
            case ControlKind::Button:
                if (c.caption != gtk_button_get_label(GTK_BUTTON(w)))
                    gtk_button_set_label(GTK_BUTTON(w), c.caption.c_str());
                break;
            case ControlKind::UpDown:
                break;
        }
        gtk_widget_set_visible(w, c.visible);
        gtk_widget_set_sensitive(w, c.enabled);
        if (item.caption != nullptr) {
            gtk_widget_set_visible(item.caption, c.visible);
            gtk_widget_set_sensitive(item.caption, c.enabled);
        }
    }

    // ---- Events

    // After every event: the model is drawn again, or the window goes once the sheet closed.
    void afterEvent() {
        if (sheet_.isOpen()) {
            render();
            return;
        }
        if (closing_) return;
        closing_ = true;
        gtk_widget_hide(window_);
        if (pollSource_ != 0) {
            g_source_remove(pollSource_);
            pollSource_ = 0;
        }
        // The view is destroyed from the loop, not from inside one of its own handlers.
        g_idle_add(&SheetView::finish, this);
    }

    static gboolean finish(gpointer data) {
        auto* view = static_cast<SheetView*>(data);
        std::function<void(int)> closed = std::move(view->closed_);
        closed(view->sheet_.result());  // destroys the view
        return G_SOURCE_REMOVE;
    }

    static gboolean poll(gpointer data) {
        auto* view = static_cast<SheetView*>(data);
        if (view->options_.processRequests()) view->afterEvent();
        return G_SOURCE_CONTINUE;
    }

    Page* pageOf(const Binding* b) { return &sheet_.page(b->page); }

    static void onScale(GtkRange* range, Binding* b) {
        if (b->view->rendering_) return;
        b->view->pageOf(b)->onScroll(b->id,
                                     static_cast<int>(std::lround(gtk_range_get_value(range))));
        b->view->afterEvent();
    }

    static void onEntry(GtkEditable* editable, Binding* b) {
        if (b->view->rendering_) return;
        b->view->pageOf(b)->onEditChanged(b->id, gtk_entry_get_text(GTK_ENTRY(editable)));
        b->view->afterEvent();
    }

    static void onCombo(GtkComboBox* combo, Binding* b) {
        if (b->view->rendering_) return;
        const int index = gtk_combo_box_get_active(combo);
        if (index >= 0) b->view->pageOf(b)->onSelectionChanged(b->id, index);
        b->view->afterEvent();
    }

    // The up-down steps from the number in its edit, as the native control does.
    static void onArrow(GtkButton*, Binding* b) {
        if (b->view->rendering_) return;
        Page& page = *b->view->pageOf(b);
        const Control& upDown = page.control(b->id);
        int base = upDown.position;
        if (upDown.buddy != 0 && page.has(upDown.buddy)) {
            if (const auto value = page.editInt(upDown.buddy)) base = *value;
        }
        const int low = std::min(upDown.minimum, upDown.maximum);
        const long next = std::clamp(static_cast<long>(base) + b->step, static_cast<long>(low),
                                     static_cast<long>(upDown.maximum));
        page.onScroll(b->id, static_cast<int>(next));
        b->view->afterEvent();
    }

    static void onClicked(GtkButton*, Binding* b) {
        if (b->view->rendering_) return;
        b->view->pageOf(b)->onCommand(b->id, Notification::Clicked);
        b->view->afterEvent();
    }

    // GTK also "clicks" the button a click switches off; only the one switched on counts.
    static void onRadio(GtkButton* button, Binding* b) {
        if (b->view->rendering_ || !gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(button))) return;
        b->view->pageOf(b)->onCommand(b->id, Notification::Clicked);
        b->view->afterEvent();
    }

    static void onSheetButton(GtkButton*, Binding* b) {
        if (b->view->rendering_) return;
        b->view->sheet_.onButton(b->id);
        b->view->afterEvent();
    }

    static void onSwitchPage(GtkNotebook*, GtkWidget*, guint index, SheetView* view) {
        if (view->rendering_) return;
        view->sheet_.onTabChanged(static_cast<int>(index));
        view->afterEvent();
    }

    static gboolean onDelete(GtkWidget*, GdkEvent*, SheetView* view) {
        view->sheet_.cancel();
        view->afterEvent();
        return TRUE;
    }

    Sheet& sheet_;
    const SheetDisplayOptions& options_;
    std::function<void(int)> closed_;
    GtkWidget* window_ = nullptr;
    GtkWidget* notebook_ = nullptr;
    GdkWindow* parent_ = nullptr;
    std::vector<GtkWidget*> sheetButtons_;
    std::vector<Item> items_;
    std::vector<std::unique_ptr<Binding>> bindings_;
    guint pollSource_ = 0;
    bool rendering_ = false;  // set while the model is drawn: the view's own signals are ignored
    bool closing_ = false;
};

}  // namespace

void setSheetShownHook(std::function<void(GtkWidget* window)> hook) {
    platform::LockGuard guard(hookLock);
    shownHook = std::move(hook);
}

}  // namespace gtk

int showSheet(Sheet& sheet, const SheetDisplayOptions& options) {
    int result = kResultNotShown;
    const bool ran = gtk::runOnGuiThread([&](std::function<void()> complete) {
        auto holder = std::make_shared<std::unique_ptr<gtk::SheetView>>();
        *holder = std::make_unique<gtk::SheetView>(
            sheet, options, [&result, holder, complete = std::move(complete)](int closedWith) {
                result = closedWith;
                holder->reset();
                complete();
            });
        (*holder)->show();
    });
    return ran ? result : kResultNotShown;
}

}  // namespace orvane::dialogs
