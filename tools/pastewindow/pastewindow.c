/* pastewindow: one window where the user pastes or types a block of text;
 * PASTE writes the whole text to standard output and ends the program.
 * Callers read the text through a pipe. "pastewindow T..." only shows that
 * the program can be started: it ends at once, without a display. */
#include <gtk/gtk.h>

#define WINDOW_TITLE "Paste the text in the below area and click PASTE !"
#define WINDOW_WIDTH 800
#define WINDOW_HEIGHT 600
#define BOX_SPACING 2

static void paste_and_quit(GtkWidget *button, gpointer view)
{
    GtkTextBuffer *buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
    GtkTextIter start, end;
    gchar *text;

    (void)button;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    text = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
    g_print("%s", text);
    g_free(text);
    gtk_main_quit();
}

int main(int argc, char **argv)
{
    GtkWidget *window, *box, *button, *view;

    if (argc > 1 && argv[1][0] == 'T')
        return 0;

    gtk_init(&argc, &argv);
    window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), WINDOW_TITLE);
    gtk_window_set_default_size(GTK_WINDOW(window), WINDOW_WIDTH, WINDOW_HEIGHT);
    /* Closing the window ends the program without output. */
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), NULL);

    box = gtk_vbox_new(FALSE, BOX_SPACING);
    gtk_container_add(GTK_CONTAINER(window), box);
    button = gtk_button_new_with_label("PASTE");
    gtk_box_pack_start(GTK_BOX(box), button, FALSE, FALSE, 0);
    view = gtk_text_view_new();
    gtk_box_pack_start(GTK_BOX(box), view, TRUE, TRUE, 0);
    g_signal_connect(button, "clicked", G_CALLBACK(paste_and_quit), view);

    gtk_widget_show_all(window);
    gtk_main();
    return 0;
}
