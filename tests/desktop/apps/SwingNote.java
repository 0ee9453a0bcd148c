// A small Swing editor for the desktop tests: a note, a password field, and a Save button that
// writes the note to the file named on the command line and says so.
import java.awt.BorderLayout;
import java.nio.file.Files;
import java.nio.file.Path;
import javax.swing.*;

public class SwingNote {
  public static void main(String[] args) throws Exception {
    Path file = Path.of(args[0]);
    String text = Files.readString(file);
    SwingUtilities.invokeAndWait(() -> {
      JFrame frame = new JFrame("Swing note");
      JTextArea note = new JTextArea(text);
      JLabel status = new JLabel("Not saved");
      JButton save = new JButton("Save");
      save.addActionListener(e -> {
        try {
          Files.writeString(file, note.getText());
          status.setText("Saved");
        } catch (Exception failure) {
          status.setText("Not saved: " + failure.getMessage());
        }
      });
      JPanel bar = new JPanel();
      bar.add(new JPasswordField("hunter2-secret", 12));
      bar.add(save);
      bar.add(status);
      frame.add(new JScrollPane(note), BorderLayout.CENTER);
      frame.add(bar, BorderLayout.SOUTH);
      frame.setDefaultCloseOperation(JFrame.EXIT_ON_CLOSE);
      frame.setSize(520, 320);
      frame.setVisible(true);
      note.requestFocusInWindow();
    });
  }
}
