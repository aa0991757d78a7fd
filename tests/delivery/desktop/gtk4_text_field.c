/* A small GTK 4 window with an entry and a text view for the delivery desktop tests. It prints "ready"
 * once shown and "text:<content>" whenever the focused field changes. --view focuses the text view;
 * --large fills it with 4000 lines first (the caret at the end) and reports nothing. */
#include <gtk/gtk.h>
#include <stdio.h>
#include <string.h>

static gboolean useView = FALSE;
static gboolean large = FALSE;

static void say(const char *text)
{
    printf("text:%s\n", text);
    fflush(stdout);
}

static void entryChanged(GtkEditable *editable, gpointer data)
{
    (void)data;
    say(gtk_editable_get_text(editable));
}

static void viewChanged(GtkTextBuffer *buffer, gpointer data)
{
    (void)data;
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    char *text = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
    say(text);
    g_free(text);
}

static gboolean ready(gpointer data)
{
    (void)data;
    printf("ready\n");
    fflush(stdout);
    return G_SOURCE_REMOVE;
}

static void activate(GtkApplication *application, gpointer data)
{
    (void)data;
    GtkWidget *window = gtk_application_window_new(application);
    gtk_window_set_title(GTK_WINDOW(window), "Orvanta GTK 4 field");
    gtk_window_set_default_size(GTK_WINDOW(window), 400, 200);
    GtkWidget *box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
    GtkWidget *entry = gtk_entry_new();
    GtkWidget *view = gtk_text_view_new();
    gtk_widget_set_vexpand(view, TRUE);
    gtk_box_append(GTK_BOX(box), entry);
    gtk_box_append(GTK_BOX(box), view);
    gtk_window_set_child(GTK_WINDOW(window), box);
    GtkTextBuffer *buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
    if (large) {
        GString *lines = g_string_new("");
        for (int i = 0; i < 4000; ++i)
            g_string_append_printf(lines, "Line %d of a long document that the user keeps writing.\n", i);
        gtk_text_buffer_set_text(buffer, lines->str, -1);
        g_string_free(lines, TRUE);
        GtkTextIter end;
        gtk_text_buffer_get_end_iter(buffer, &end);
        gtk_text_buffer_place_cursor(buffer, &end);
    } else if (useView)
        g_signal_connect(buffer, "changed", G_CALLBACK(viewChanged), NULL);
    else
        g_signal_connect(entry, "changed", G_CALLBACK(entryChanged), NULL);
    gtk_window_present(GTK_WINDOW(window));
    gtk_widget_grab_focus(useView ? view : entry);
    g_idle_add(ready, NULL);
}

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i)
        if (strcmp(argv[i], "--view") == 0)
            useView = TRUE;
        else if (strcmp(argv[i], "--large") == 0)
            useView = large = TRUE;
    GtkApplication *application = gtk_application_new("org.orvanta.Gtk4Field", G_APPLICATION_NON_UNIQUE);
    g_signal_connect(application, "activate", G_CALLBACK(activate), NULL);
    char *arguments[] = {argv[0], NULL};
    const int status = g_application_run(G_APPLICATION(application), 1, arguments);
    g_object_unref(application);
    return status;
}
