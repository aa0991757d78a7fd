/* A VTE terminal running `cat` for the delivery desktop tests, pasting with Ctrl+Shift+V as terminal
 * applications built on VTE do. It prints "ready" once `cat` runs and "text:<screen>" (trailing blank
 * lines dropped) whenever the screen changes. */
#include <gtk/gtk.h>
#include <stdio.h>
#include <vte/vte.h>

static void spawned(VteTerminal *terminal, GPid pid, GError *error, gpointer data)
{
    (void)terminal;
    (void)pid;
    (void)data;
    if (error) {
        fprintf(stderr, "cannot start cat: %s\n", error->message);
        return;
    }
    printf("ready\n");
    fflush(stdout);
}

static void changed(VteTerminal *terminal, gpointer data)
{
    (void)data;
    char *text = vte_terminal_get_text(terminal, NULL, NULL, NULL);
    if (!text)
        return;
    g_strchomp(text);
    printf("text:%s\n", text);
    fflush(stdout);
    g_free(text);
}

static gboolean keyPressed(GtkWidget *terminal, GdkEventKey *event, gpointer data)
{
    (void)data;
    const GdkModifierType mask = GDK_CONTROL_MASK | GDK_SHIFT_MASK;
    if ((event->state & mask) == mask && (event->keyval == GDK_KEY_V || event->keyval == GDK_KEY_v)) {
        vte_terminal_paste_clipboard(VTE_TERMINAL(terminal));
        return TRUE;
    }
    return FALSE;
}

int main(int argc, char **argv)
{
    gtk_init(&argc, &argv);
    GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "Orvanta terminal");
    GtkWidget *terminal = vte_terminal_new();
    gtk_container_add(GTK_CONTAINER(window), terminal);
    char *command[] = {"/bin/cat", NULL};
    vte_terminal_spawn_async(VTE_TERMINAL(terminal), VTE_PTY_DEFAULT, NULL, command, NULL, 0, NULL, NULL, NULL, -1,
                             NULL, spawned, NULL);
    g_signal_connect(terminal, "contents-changed", G_CALLBACK(changed), NULL);
    g_signal_connect(terminal, "key-press-event", G_CALLBACK(keyPressed), NULL);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), NULL);
    gtk_widget_show_all(window);
    gtk_widget_grab_focus(terminal);
    gtk_main();
    return 0;
}
