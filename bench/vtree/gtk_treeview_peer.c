/* The peer of the tree benchmark: a GTK3 tree view over a list store of the
 * same rows ("Row 0", "Row 1", ...), in the list's fast fixed-height mode.
 * Prints, in milliseconds: filling the store, showing the window up to its
 * first drawn frame (from the start), and scrolling to the last row up to the
 * frame that shows it. */
#include <gtk/gtk.h>
#include <stdio.h>
#include <stdlib.h>

static gint64 start_us, created_us, shown_us, scroll_start_us, scrolled_us;
static GtkWidget* view;
static int rows = 1000000;
static int phase = 0;

static gboolean scroll_to_end(gpointer data) {
    (void)data;
    GtkTreePath* path = gtk_tree_path_new_from_indices(rows - 1, -1);
    scroll_start_us = g_get_monotonic_time();
    gtk_tree_view_scroll_to_cell(GTK_TREE_VIEW(view), path, NULL, FALSE, 0, 0);
    gtk_tree_path_free(path);
    phase = 1;
    return G_SOURCE_REMOVE;
}

static gboolean quit_later(gpointer data) {
    (void)data;
    gtk_main_quit();
    return G_SOURCE_REMOVE;
}

static gboolean drawn(GtkWidget* widget, cairo_t* cr, gpointer data) {
    (void)widget;
    (void)cr;
    (void)data;
    if (phase == 0 && !shown_us) {
        shown_us = g_get_monotonic_time();
        g_idle_add(scroll_to_end, NULL);
    } else if (phase == 1) {
        GdkRectangle visible;
        gtk_tree_view_get_visible_rect(GTK_TREE_VIEW(view), &visible);
        if (visible.y > 0) {
            scrolled_us = g_get_monotonic_time();
            phase = 2;
            g_idle_add(quit_later, NULL);
        }
    }
    return FALSE;
}

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);
    if (argc > 1) rows = atoi(argv[1]);
    start_us = g_get_monotonic_time();
    GtkListStore* store = gtk_list_store_new(1, G_TYPE_STRING);
    GtkTreeIter it;
    char text[32];
    for (int i = 0; i < rows; ++i) {
        snprintf(text, sizeof text, "Row %d", i);
        gtk_list_store_insert_with_values(store, &it, -1, 0, text, -1);
    }
    created_us = g_get_monotonic_time();
    view = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store));
    GtkTreeViewColumn* column =
        gtk_tree_view_column_new_with_attributes("Name", gtk_cell_renderer_text_new(), "text", 0, NULL);
    gtk_tree_view_column_set_sizing(column, GTK_TREE_VIEW_COLUMN_FIXED);
    gtk_tree_view_column_set_fixed_width(column, 200);
    gtk_tree_view_append_column(GTK_TREE_VIEW(view), column);
    gtk_tree_view_set_fixed_height_mode(GTK_TREE_VIEW(view), TRUE);
    GtkWidget* scrolled = gtk_scrolled_window_new(NULL, NULL);
    gtk_container_add(GTK_CONTAINER(scrolled), view);
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 400, 300);
    gtk_container_add(GTK_CONTAINER(window), scrolled);
    g_signal_connect_after(view, "draw", G_CALLBACK(drawn), NULL);
    gtk_widget_show_all(window);
    gtk_main();
    printf("create_ms=%.1f show_ms=%.1f scroll_ms=%.1f\n", (created_us - start_us) / 1000.0,
           (shown_us - start_us) / 1000.0, (scrolled_us - scroll_start_us) / 1000.0);
    return 0;
}
