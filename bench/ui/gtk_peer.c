/* The peer of ui_bench: the same work done by a small GTK3 program, on the
 * same X server. Prints one line per measurement: "<name> <seconds>".
 *
 *   gtk_peer [--count N] [--only controls|plain|repaint|post|tree]
 *   gtk_peer --only startup    a small window (a label, a button, a list of
 *                              a few rows), shown: prints "shown" once its
 *                              first frame is drawn and the server has it,
 *                              and ends (the start-up peer of the host
 *                              program's window, timed by its caller)
 */
#include <gtk/gtk.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

static void report(const char* name, double seconds) {
    printf("%s %.9g\n", name, seconds);
    fflush(stdout);
}

/* Serves everything waiting and waits for the server. */
static void settle(void) {
    while (gtk_events_pending())
        gtk_main_iteration_do(FALSE);
    gdk_display_sync(gdk_display_get_default());
    while (gtk_events_pending())
        gtk_main_iteration_do(FALSE);
}

static int frames;
static gboolean count_frame(GtkWidget* w, cairo_t* cr, gpointer data) {
    (void)w;
    (void)cr;
    (void)data;
    ++frames;
    return FALSE;
}

/* Waits until the window has drawn one more frame. */
static void wait_frame(GtkWidget* window, int before) {
    (void)window;
    while (frames == before)
        gtk_main_iteration_do(TRUE);
    gdk_display_sync(gdk_display_get_default());
}

/* The buttons' grid: 100 columns of 22 x 14 buttons, 2 pixels apart. */
enum { COLUMNS = 100, CELL_X = 24, CELL_Y = 16, BUTTON_W = 22, BUTTON_H = 14 };

static GtkWidget* grid_window(int count, GtkWidget** fixed) {
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_decorated(GTK_WINDOW(window), FALSE);
    const int rows = (count + COLUMNS - 1) / COLUMNS;
    gtk_window_set_default_size(GTK_WINDOW(window), COLUMNS * CELL_X, rows * CELL_Y);
    gtk_window_move(GTK_WINDOW(window), 0, 0);
    *fixed = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(window), *fixed);
    g_signal_connect_after(window, "draw", G_CALLBACK(count_frame), NULL);
    return window;
}

static void controls(int count) {
    double start = now();
    GtkWidget* fixed;
    GtkWidget* window = grid_window(count, &fixed);
    for (int i = 0; i < count; ++i) {
        GtkWidget* b = gtk_button_new_with_label("B");
        gtk_style_context_add_class(gtk_widget_get_style_context(b), "small");
        gtk_widget_set_size_request(b, BUTTON_W, BUTTON_H);
        gtk_fixed_put(GTK_FIXED(fixed), b, (i % COLUMNS) * CELL_X, (i / COLUMNS) * CELL_Y);
    }
    report("create_controls", now() - start);

    start = now();
    const int before = frames;
    gtk_widget_show_all(window);
    wait_frame(window, before);
    settle();
    report("show_controls", now() - start);

    start = now();
    gtk_widget_destroy(window);
    settle();
    report("free_controls", now() - start);
}

/* Plain windows: drawing areas that paint nothing but their background. */
static void plain(int count) {
    double start = now();
    GtkWidget* fixed;
    GtkWidget* window = grid_window(count, &fixed);
    for (int i = 0; i < count; ++i) {
        GtkWidget* d = gtk_drawing_area_new();
        gtk_widget_set_size_request(d, BUTTON_W, BUTTON_H);
        gtk_fixed_put(GTK_FIXED(fixed), d, (i % COLUMNS) * CELL_X, (i / COLUMNS) * CELL_Y);
    }
    const int before = frames;
    gtk_widget_show_all(window);
    wait_frame(window, before);
    settle();
    report("show_plain_windows", now() - start);

    enum { PEEKS = 200000 };
    GMainContext* context = g_main_context_default();
    start = now();
    for (int i = 0; i < PEEKS; ++i)
        g_main_context_iteration(context, FALSE);
    const double many = (now() - start) / PEEKS;
    gtk_widget_destroy(window);
    settle();
    GtkWidget* few = grid_window(9, &fixed);
    for (int i = 0; i < 9; ++i)
        gtk_fixed_put(GTK_FIXED(fixed), gtk_drawing_area_new(), i * 10, 0);
    gtk_widget_show_all(few);
    settle();
    start = now();
    for (int i = 0; i < PEEKS; ++i)
        g_main_context_iteration(context, FALSE);
    const double ten = (now() - start) / PEEKS;
    gtk_widget_destroy(few);
    settle();
    report("peek_empty_10", ten);
    report("peek_empty_many", many);
}

static gboolean draw_picture(GtkWidget* w, cairo_t* cr, gpointer data) {
    (void)w;
    (void)data;
    cairo_set_source_rgb(cr, 0, 0, 0.5);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 1, 1, 0);
    cairo_arc(cr, 20, 20, 12, 0, 6.2832);
    cairo_fill(cr);
    return TRUE;
}

static GtkWidget* place(GtkWidget* fixed, GtkWidget* w, int x, int y, int width, int height) {
    gtk_widget_set_size_request(w, width, height);
    gtk_fixed_put(GTK_FIXED(fixed), w, x, y);
    return w;
}

/* The demonstration form: one of each control, on a 420 x 300 client area. */
static GtkWidget* demo_form(void) {
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "Standard controls");
    gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
    gtk_window_move(GTK_WINDOW(window), 20, 20);
    GtkWidget* fixed = gtk_fixed_new();
    gtk_widget_set_size_request(fixed, 420, 300);
    gtk_container_add(GTK_CONTAINER(window), fixed);
    g_signal_connect_after(window, "draw", G_CALLBACK(count_frame), NULL);

    place(fixed, gtk_label_new_with_mnemonic("_Name:"), 8, 8, -1, -1);
    GtkWidget* edit = place(fixed, gtk_entry_new(), 60, 6, 120, 21);
    gtk_entry_set_text(GTK_ENTRY(edit), "Edit text");
    GtkWidget* memo = gtk_text_view_new();
    gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(memo)),
                             "First line\nSecond line\nThird line", -1);
    place(fixed, memo, 8, 34, 172, 58);
    GtkWidget* list = place(fixed, gtk_list_box_new(), 190, 6, 100, 60);
    const char* rows[] = {"Alpha", "Beta", "Gamma", "Delta"};
    for (int i = 0; i < 4; ++i)
        gtk_list_box_insert(GTK_LIST_BOX(list), gtk_label_new(rows[i]), -1);
    gtk_list_box_select_row(GTK_LIST_BOX(list),
                            gtk_list_box_get_row_at_index(GTK_LIST_BOX(list), 1));
    GtkWidget* combo = place(fixed, gtk_combo_box_text_new(), 190, 72, 100, 21);
    gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(combo), "One");
    gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(combo), "Two");
    gtk_combo_box_set_active(GTK_COMBO_BOX(combo), 0);
    place(fixed, gtk_button_new_with_mnemonic("_Button"), 300, 6, 75, 25);
    GtkWidget* ok = place(fixed, gtk_button_new_with_label("OK"), 300, 36, 75, 25);
    gtk_button_set_image(GTK_BUTTON(ok),
                         gtk_image_new_from_icon_name("gtk-ok", GTK_ICON_SIZE_BUTTON));
    GtkWidget* cancel = place(fixed, gtk_button_new_with_label("Cancel"), 300, 66, 75, 25);
    gtk_button_set_image(GTK_BUTTON(cancel),
                         gtk_image_new_from_icon_name("gtk-cancel", GTK_ICON_SIZE_BUTTON));
    GtkWidget* check = place(fixed, gtk_check_button_new_with_label("Check box"), 8, 100, 100, 17);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(check), TRUE);
    GtkWidget* one =
        place(fixed, gtk_radio_button_new_with_label(NULL, "Radio one"), 8, 120, 100, 17);
    place(fixed, gtk_radio_button_new_with_label_from_widget(GTK_RADIO_BUTTON(one), "Radio two"), 8,
          140, 100, 17);
    GtkWidget* panel = place(fixed, gtk_frame_new(NULL), 120, 100, 120, 40);
    gtk_frame_set_shadow_type(GTK_FRAME(panel), GTK_SHADOW_IN);
    gtk_container_add(GTK_CONTAINER(panel), gtk_label_new("Panel"));
    GtkWidget* bevel = place(fixed, gtk_frame_new(NULL), 250, 100, 60, 40);
    gtk_frame_set_shadow_type(GTK_FRAME(bevel), GTK_SHADOW_ETCHED_IN);
    GtkWidget* picture = place(fixed, gtk_drawing_area_new(), 320, 100, 40, 40);
    g_signal_connect(picture, "draw", G_CALLBACK(draw_picture), NULL);
    GtkAdjustment* range = gtk_adjustment_new(30, 0, 110, 1, 10, 10);
    place(fixed, gtk_scrollbar_new(GTK_ORIENTATION_HORIZONTAL, range), 8, 165, 200, 16);
    GtkWidget* progress = place(fixed, gtk_progress_bar_new(), 8, 190, 200, 16);
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(progress), 0.4);
    GtkWidget* gauge = place(fixed, gtk_level_bar_new(), 220, 150, 150, 24);
    gtk_level_bar_set_value(GTK_LEVEL_BAR(gauge), 0.6);
    GtkWidget* status = place(fixed, gtk_statusbar_new(), 0, 281, 420, 19);
    gtk_statusbar_push(GTK_STATUSBAR(status), 0, "Ready");
    return window;
}

/* A full repaint without the frame clock's pacing: the whole window drawn
 * into an image surface (the headless measurement) and into a surface of the
 * X server like the window's own (the X11 one, waiting for the server). */
static void repaint(void) {
    GtkWidget* window = demo_form();
    int before = frames;
    gtk_widget_show_all(window);
    wait_frame(window, before);
    settle();
    const int w = gtk_widget_get_allocated_width(window),
              h = gtk_widget_get_allocated_height(window);
    enum { ROUNDS = 200 };
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    double start = now();
    for (int i = 0; i < ROUNDS; ++i) {
        cairo_t* cr = cairo_create(image);
        gtk_widget_draw(window, cr);
        cairo_destroy(cr);
        cairo_surface_flush(image);
    }
    report("repaint_demo_headless", (now() - start) / ROUNDS);
    cairo_surface_destroy(image);

    cairo_surface_t* server = gdk_window_create_similar_surface(gtk_widget_get_window(window),
                                                                CAIRO_CONTENT_COLOR_ALPHA, w, h);
    start = now();
    for (int i = 0; i < ROUNDS; ++i) {
        cairo_t* cr = cairo_create(server);
        gtk_widget_draw(window, cr);
        cairo_destroy(cr);
        cairo_surface_flush(server);
        gdk_display_sync(gdk_display_get_default());
    }
    report("repaint_demo_x11", (now() - start) / ROUNDS);
    cairo_surface_destroy(server);
    gtk_widget_destroy(window);
    settle();
}

/* The tree of ui_bench's themed repaint: 30 folders (every third open, two
 * files each), each row with a check box, under a header of two columns,
 * drawn into a surface of the X server like the window's own. */
static void repaint_tree(void) {
    GtkTreeStore* store = gtk_tree_store_new(3, G_TYPE_BOOLEAN, G_TYPE_STRING, G_TYPE_STRING);
    GtkWidget* view = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store));
    for (int i = 0; i < 30; ++i) {
        GtkTreeIter folder, file;
        gtk_tree_store_insert_with_values(store, &folder, NULL, -1, 0, i % 2, 1, "folder", 2, "1 KB", -1);
        for (int j = 0; j < 2; ++j)
            gtk_tree_store_insert_with_values(store, &file, &folder, -1, 0, j % 2, 1, "file", 2, "1 KB", -1);
    }
    GtkTreeViewColumn* name = gtk_tree_view_column_new();
    gtk_tree_view_column_set_title(name, "Name");
    gtk_tree_view_column_set_fixed_width(name, 250);
    GtkCellRenderer* check = gtk_cell_renderer_toggle_new();
    gtk_tree_view_column_pack_start(name, check, FALSE);
    gtk_tree_view_column_add_attribute(name, check, "active", 0);
    GtkCellRenderer* text = gtk_cell_renderer_text_new();
    gtk_tree_view_column_pack_start(name, text, TRUE);
    gtk_tree_view_column_add_attribute(name, text, "text", 1);
    gtk_tree_view_append_column(GTK_TREE_VIEW(view), name);
    gtk_tree_view_insert_column_with_attributes(GTK_TREE_VIEW(view), -1, "Size", gtk_cell_renderer_text_new(), "text",
                                                2, NULL);
    for (int i = 0; i < 30; i += 3) {
        GtkTreePath* path = gtk_tree_path_new_from_indices(i, -1);
        gtk_tree_view_expand_row(GTK_TREE_VIEW(view), path, FALSE);
        gtk_tree_path_free(path);
    }
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 420, 300);
    GtkWidget* scrolled = gtk_scrolled_window_new(NULL, NULL);
    gtk_container_add(GTK_CONTAINER(scrolled), view);
    gtk_container_add(GTK_CONTAINER(window), scrolled);
    g_signal_connect_after(window, "draw", G_CALLBACK(count_frame), NULL);
    int before = frames;
    gtk_widget_show_all(window);
    wait_frame(window, before);
    settle();
    const int w = gtk_widget_get_allocated_width(window), h = gtk_widget_get_allocated_height(window);
    enum { ROUNDS = 200 };
    cairo_surface_t* server = gdk_window_create_similar_surface(gtk_widget_get_window(window),
                                                                CAIRO_CONTENT_COLOR_ALPHA, w, h);
    double start = now();
    for (int i = 0; i < ROUNDS; ++i) {
        cairo_t* cr = cairo_create(server);
        gtk_widget_draw(window, cr);
        cairo_destroy(cr);
        cairo_surface_flush(server);
        gdk_display_sync(gdk_display_get_default());
    }
    report("repaint_tree_x11", (now() - start) / ROUNDS);
    cairo_surface_destroy(server);
    gtk_widget_destroy(window);
    g_object_unref(store);
    settle();
}

static gboolean once(gpointer data) {
    (void)data;
    return G_SOURCE_REMOVE;
}

static void post(void) {
    enum { BATCH = 1000, ROUNDS = 400 };
    GMainContext* context = g_main_context_default();
    const double start = now();
    for (int r = 0; r < ROUNDS; ++r) {
        for (int i = 0; i < BATCH; ++i)
            g_idle_add(once, NULL);
        while (g_main_context_iteration(context, FALSE)) {
        }
    }
    report("post_and_peek", (now() - start) / ((double)BATCH * ROUNDS));
}

static void startup(void) {
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "Peer");
    gtk_window_set_default_size(GTK_WINDOW(window), 760, 520);
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
    gtk_container_add(GTK_CONTAINER(window), box);
    gtk_box_pack_start(GTK_BOX(box), gtk_button_new_with_label("Open job..."), FALSE, FALSE, 0);
    GtkListStore* store = gtk_list_store_new(1, G_TYPE_STRING);
    for (int i = 0; i < 20; ++i) {
        char name[32];
        snprintf(name, sizeof name, "item %d", i);
        gtk_list_store_insert_with_values(store, NULL, -1, 0, name, -1);
    }
    GtkWidget* view = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store));
    gtk_tree_view_append_column(GTK_TREE_VIEW(view),
                                gtk_tree_view_column_new_with_attributes("Name", gtk_cell_renderer_text_new(),
                                                                         "text", 0, NULL));
    gtk_box_pack_start(GTK_BOX(box), view, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(box), gtk_label_new("Ready"), FALSE, FALSE, 0);
    g_signal_connect_after(window, "draw", G_CALLBACK(count_frame), NULL);
    gtk_widget_show_all(window);
    wait_frame(window, 0);
    printf("shown\n");
    fflush(stdout);
}

int main(int argc, char** argv) {
    int count = 10000;
    const char* only = "";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!strcmp(argv[i], "--count"))
            count = atoi(argv[i + 1]);
        else if (!strcmp(argv[i], "--only"))
            only = argv[i + 1];
    }
    if (!gtk_init_check(&argc, &argv)) {
        fprintf(stderr, "gtk_peer: no display\n");
        return 1;
    }
    if (!strcmp(only, "startup")) {
        startup();
        return 0;
    }
    /* Buttons as small as ours: no padding, no minimum size. */
    GtkCssProvider* css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(
        css, "button.small { min-height: 0; min-width: 0; padding: 0; }", -1, NULL);
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    if (!*only || !strcmp(only, "controls")) controls(count);
    if (!*only || !strcmp(only, "plain")) plain(count);
    if (!*only || !strcmp(only, "repaint")) repaint();
    if (!*only || !strcmp(only, "post")) post();
    if (!*only || !strcmp(only, "tree")) repaint_tree();
    return 0;
}
