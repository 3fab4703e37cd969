#include "SheetDriver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "dialogs/gtk/SheetTesting.h"

namespace orvane::test {

struct SheetScript::State {
    Script script;
    std::atomic<bool> armed{true};
    std::atomic<bool> scheduled{false};
    std::atomic<bool> ran{false};
    GtkWidget* window = nullptr;  // GUI thread only
};

namespace {

gboolean runScript(gpointer data) {
    auto* state = static_cast<SheetScript::State*>(data);
    state->script(state->window);
    state->ran.store(true);
    if (gtk_widget_get_visible(state->window)) {
        ADD_FAILURE() << "the script left the sheet open";
        clickButton(state->window, 2);
    }
    return G_SOURCE_REMOVE;
}

// The first complete drawing of the window: the script starts from the next idle moment.
gboolean drawn(GtkWidget*, cairo_t*, gpointer data) {
    auto* state = static_cast<SheetScript::State*>(data);
    if (!state->scheduled.exchange(true)) g_idle_add(runScript, state);
    return FALSE;
}

void collect(GtkWidget* w, gpointer data) {
    auto* found = static_cast<std::pair<const std::string*, GtkWidget*>*>(data);
    if (found->second != nullptr) return;
    const gchar* name = gtk_widget_get_name(w);
    if (name != nullptr && *found->first == name) {
        found->second = w;
        return;
    }
    if (GTK_IS_CONTAINER(w)) gtk_container_forall(GTK_CONTAINER(w), collect, data);
}

}  // namespace

SheetScript::SheetScript(Script script) : state_(std::make_unique<State>()) {
    state_->script = std::move(script);
    State* state = state_.get();
    dialogs::gtk::setSheetShownHook([state](GtkWidget* window) {
        if (!state->armed.exchange(false)) return;
        state->window = window;
        g_signal_connect_after(window, "draw", G_CALLBACK(drawn), state);
    });
}

SheetScript::~SheetScript() {
    dialogs::gtk::setSheetShownHook(nullptr);
}

bool SheetScript::ran() const {
    return state_->ran.load();
}

GtkWidget* widget(GtkWidget* root, const std::string& name) {
    std::pair<const std::string*, GtkWidget*> found{&name, nullptr};
    collect(root, &found);
    return found.second;
}

GtkWidget* control(GtkWidget* root, int id) {
    return widget(root, "orvane-" + std::to_string(id));
}

void click(GtkWidget* root, const std::string& name) {
    GtkWidget* w = widget(root, name);
    ASSERT_NE(w, nullptr) << name;
    gtk_button_clicked(GTK_BUTTON(w));
}

void clickButton(GtkWidget* root, int sheetButtonId) {
    click(root, "orvane-button-" + std::to_string(sheetButtonId));
}

void clickControl(GtkWidget* root, int id) {
    click(root, "orvane-" + std::to_string(id));
}

void slide(GtkWidget* root, int trackbarId, int value) {
    GtkWidget* w = control(root, trackbarId);
    ASSERT_TRUE(w != nullptr && GTK_IS_RANGE(w)) << trackbarId;
    gtk_range_set_value(GTK_RANGE(w), value);
}

void type(GtkWidget* root, int editId, const std::string& text) {
    GtkWidget* w = control(root, editId);
    ASSERT_TRUE(w != nullptr && GTK_IS_ENTRY(w)) << editId;
    gtk_entry_set_text(GTK_ENTRY(w), text.c_str());
}

void choose(GtkWidget* root, int comboId, int index) {
    GtkWidget* w = control(root, comboId);
    ASSERT_TRUE(w != nullptr && GTK_IS_COMBO_BOX(w)) << comboId;
    gtk_combo_box_set_active(GTK_COMBO_BOX(w), index);
}

std::string textOf(GtkWidget* root, int editId) {
    GtkWidget* w = control(root, editId);
    return w != nullptr && GTK_IS_ENTRY(w) ? gtk_entry_get_text(GTK_ENTRY(w)) : "<missing>";
}

int comboIndexOf(GtkWidget* root, int comboId, const std::string& entry) {
    GtkWidget* w = control(root, comboId);
    if (w == nullptr || !GTK_IS_COMBO_BOX(w)) return -1;
    GtkTreeModel* model = gtk_combo_box_get_model(GTK_COMBO_BOX(w));
    GtkTreeIter it;
    int index = 0;
    for (gboolean ok = gtk_tree_model_get_iter_first(model, &it); ok;
         ok = gtk_tree_model_iter_next(model, &it), ++index) {
        gchar* text = nullptr;
        gtk_tree_model_get(model, &it, 0, &text, -1);
        const bool match = text != nullptr && entry == text;
        g_free(text);
        if (match) return index;
    }
    return -1;
}

bool pumpUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        if (!g_main_context_iteration(nullptr, FALSE))
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::string saveScreenshot(GtkWidget* window, const std::string& fileName) {
    const char* env = std::getenv("ORVANE_ARTIFACT_DIR");
    const std::filesystem::path dir = env != nullptr && *env != '\0'
                                          ? std::filesystem::path(env)
                                          : std::filesystem::current_path() / "test-artifacts";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / fileName).string();
    GdkWindow* gdk = gtk_widget_get_window(window);
    GdkPixbuf* picture = gdk_pixbuf_get_from_window(gdk, 0, 0, gdk_window_get_width(gdk),
                                                    gdk_window_get_height(gdk));
    if (picture == nullptr) return {};
    GError* error = nullptr;
    const bool saved = gdk_pixbuf_save(picture, path.c_str(), "png", &error, nullptr) != FALSE;
    if (error != nullptr) g_error_free(error);
    g_object_unref(picture);
    return saved ? path : std::string();
}

}  // namespace orvane::test
