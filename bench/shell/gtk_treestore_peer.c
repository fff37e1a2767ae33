/* The peer of the home benchmark: a GTK3 tree view over a tree store of the
 * same rows as the explorer tree, read from the same folder: one row per
 * entry, its name (a string column) its only data, the hierarchy that of
 * the folders. Every row is expanded (gtk_tree_view_expand_all) and the
 * window shown up to its first drawn frame.
 *
 * gtk_treestore_peer FOLDER prints "rows=N ms=T": the rows held and the
 * milliseconds from the first read of the folder to the first frame. */
#include <dirent.h>
#include <gtk/gtk.h>
#include <stdio.h>
#include <string.h>

static long rows = 0;
static gint64 start_us, drawn_us;

/* Reads path into the store below parent (NULL: the top level). */
static void add_folder(GtkTreeStore* store, GtkTreeIter* parent, const char* path) {
    DIR* dir = opendir(path);
    if (!dir) return;
    struct dirent* entry;
    while ((entry = readdir(dir))) {
        if (!strcmp(entry->d_name, ".") || !strcmp(entry->d_name, "..")) continue;
        GtkTreeIter it;
        gtk_tree_store_insert_with_values(store, &it, parent, -1, 0, entry->d_name, -1);
        ++rows;
        if (entry->d_type == DT_DIR) {
            char* child = g_build_filename(path, entry->d_name, NULL);
            add_folder(store, &it, child);
            g_free(child);
        }
    }
    closedir(dir);
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
    if (!drawn_us) {
        drawn_us = g_get_monotonic_time();
        g_idle_add(quit_later, NULL);
    }
    return FALSE;
}

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);
    if (argc < 2) {
        fprintf(stderr, "usage: gtk_treestore_peer FOLDER\n");
        return 2;
    }
    start_us = g_get_monotonic_time();
    GtkTreeStore* store = gtk_tree_store_new(1, G_TYPE_STRING);
    add_folder(store, NULL, argv[1]);
    GtkWidget* view = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store));
    GtkTreeViewColumn* column =
        gtk_tree_view_column_new_with_attributes("Name", gtk_cell_renderer_text_new(), "text", 0, NULL);
    gtk_tree_view_column_set_sizing(column, GTK_TREE_VIEW_COLUMN_FIXED);
    gtk_tree_view_column_set_fixed_width(column, 200);
    gtk_tree_view_append_column(GTK_TREE_VIEW(view), column);
    gtk_tree_view_set_fixed_height_mode(GTK_TREE_VIEW(view), TRUE);
    gtk_tree_view_expand_all(GTK_TREE_VIEW(view));
    GtkWidget* scrolled = gtk_scrolled_window_new(NULL, NULL);
    gtk_container_add(GTK_CONTAINER(scrolled), view);
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 400, 300);
    gtk_container_add(GTK_CONTAINER(window), scrolled);
    g_signal_connect_after(view, "draw", G_CALLBACK(drawn), NULL);
    gtk_widget_show_all(window);
    gtk_main();
    printf("rows=%ld ms=%.1f\n", rows, (drawn_us - start_us) / 1000.0);
    return 0;
}
