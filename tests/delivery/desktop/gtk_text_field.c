/* A small GTK 3 window with two entries for the delivery desktop tests. It prints "ready" once shown
 * and "text:<content>" whenever the first entry changes. --password hides the first entry's text;
 * --canvas puts a focusable drawing area first that draws nothing, exposes no text and takes Ctrl+V, as a
 * custom-drawn editor does; --view makes the first field a multi-line text view. */
#include <gtk/gtk.h>
#include <stdio.h>
#include <string.h>

static void changed(GtkEditable *editable, gpointer data)
{
    (void)data;
    printf("text:%s\n", gtk_entry_get_text(GTK_ENTRY(editable)));
    fflush(stdout);
}

static void viewChanged(GtkTextBuffer *buffer, gpointer data)
{
    (void)data;
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    gchar *text = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
    printf("text:%s\n", text);
    fflush(stdout);
    g_free(text);
}

static GString *canvasText;

static void pasted(GtkClipboard *clipboard, const gchar *text, gpointer data)
{
    (void)clipboard;
    (void)data;
    if (text)
        g_string_append(canvasText, text);
    printf("text:%s\n", canvasText->str);
    fflush(stdout);
}

static gboolean canvasKey(GtkWidget *widget, GdkEventKey *event, gpointer data)
{
    (void)data;
    if (!(event->state & GDK_CONTROL_MASK) || (event->keyval != GDK_KEY_v && event->keyval != GDK_KEY_V))
        return FALSE;
    gtk_clipboard_request_text(gtk_widget_get_clipboard(widget, GDK_SELECTION_CLIPBOARD), pasted, NULL);
    return TRUE;
}

static gboolean ready(gpointer data)
{
    (void)data;
    printf("ready\n");
    fflush(stdout);
    return G_SOURCE_REMOVE;
}

int main(int argc, char **argv)
{
    gboolean password = FALSE;
    gboolean canvas = FALSE;
    gboolean view = FALSE;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--password") == 0)
            password = TRUE;
        if (strcmp(argv[i], "--canvas") == 0)
            canvas = TRUE;
        if (strcmp(argv[i], "--view") == 0)
            view = TRUE;
    }
    g_set_prgname("orvanta-gtk-field");
    gtk_init(&argc, &argv);
    GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "Orvanta GTK field");
    gtk_window_set_default_size(GTK_WINDOW(window), 400, 120);
    GtkWidget *box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
    GtkWidget *first = canvas ? gtk_drawing_area_new() : view ? gtk_text_view_new() : gtk_entry_new();
    GtkWidget *second = gtk_entry_new();
    if (password)
        gtk_entry_set_visibility(GTK_ENTRY(first), FALSE);
    gtk_box_pack_start(GTK_BOX(box), first, canvas || view, canvas || view, 0);
    gtk_box_pack_start(GTK_BOX(box), second, FALSE, FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window), box);
    if (canvas) {
        canvasText = g_string_new("");
        gtk_widget_set_size_request(first, 300, 60);
        gtk_widget_set_can_focus(first, TRUE);
        gtk_widget_add_events(first, GDK_KEY_PRESS_MASK);
        g_signal_connect(first, "key-press-event", G_CALLBACK(canvasKey), NULL);
    } else if (view) {
        gtk_widget_set_size_request(first, 300, 60);
        g_signal_connect(gtk_text_view_get_buffer(GTK_TEXT_VIEW(first)), "changed", G_CALLBACK(viewChanged), NULL);
    } else {
        g_signal_connect(first, "changed", G_CALLBACK(changed), NULL);
    }
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), NULL);
    gtk_widget_show_all(window);
    gtk_window_present(GTK_WINDOW(window));
    gtk_widget_grab_focus(first);
    g_idle_add(ready, NULL);
    gtk_main();
    return 0;
}
