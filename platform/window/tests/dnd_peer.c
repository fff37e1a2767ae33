/* Another program's side of drag and drop, for the tests: a GTK3 window that
 * is either a drop target printing each dropped URI list ("drop: LIST") or a
 * drag source of one URI, copy only (or link only).
 *   dnd_peer target TITLE
 *   dnd_peer source TITLE file:///path [link] */
#include <gtk/gtk.h>
#include <string.h>

static const char *uri;

static void received(GtkWidget *w, GdkDragContext *c, gint x, gint y, GtkSelectionData *d, guint i,
                     guint t, gpointer u) {
    const guchar *s = gtk_selection_data_get_data(d);
    printf("drop: %s\n", s ? (const char *)s : "(null)");
    fflush(stdout);
    gtk_drag_finish(c, s != NULL, FALSE, t);
}

static void get(GtkWidget *w, GdkDragContext *c, GtkSelectionData *d, guint i, guint t, gpointer u) {
    gchar *l = g_strconcat(uri, "\r\n", NULL);
    gtk_selection_data_set(d, gtk_selection_data_get_target(d), 8, (const guchar *)l, strlen(l));
    g_free(l);
}

int main(int argc, char **argv) {
    if (argc < 3 || (strcmp(argv[1], "target") && argc < 4)) return 2;
    gtk_init(&argc, &argv);
    GtkWidget *win = gtk_window_new(GTK_WINDOW_TOPLEVEL), *box = gtk_event_box_new();
    gtk_window_set_title(GTK_WINDOW(win), argv[2]);
    gtk_window_set_default_size(GTK_WINDOW(win), 300, 300);
    gtk_container_add(GTK_CONTAINER(box), gtk_label_new(argv[1]));
    gtk_container_add(GTK_CONTAINER(win), box);
    GtkTargetEntry te[] = {{"text/uri-list", 0, 0}};
    if (!strcmp(argv[1], "target")) {
        gtk_drag_dest_set(box, GTK_DEST_DEFAULT_ALL, te, 1,
                          GDK_ACTION_COPY | GDK_ACTION_MOVE | GDK_ACTION_LINK);
        g_signal_connect(box, "drag-data-received", G_CALLBACK(received), NULL);
    } else {
        uri = argv[3];
        gtk_drag_source_set(box, GDK_BUTTON1_MASK, te, 1,
                            argc > 4 && !strcmp(argv[4], "link") ? GDK_ACTION_LINK : GDK_ACTION_COPY);
        g_signal_connect(box, "drag-data-get", G_CALLBACK(get), NULL);
    }
    g_signal_connect(win, "destroy", G_CALLBACK(gtk_main_quit), NULL);
    gtk_widget_show_all(win);
    printf("ready\n");
    fflush(stdout);
    gtk_main();
    return 0;
}
