r"""The demo kit signed in the step that builds it (upkit build
--sign-command): the signature is an addition at the end of the file, and the
signed kit installs just as the unsigned one does."""

import harness
import widget_kit as wk
from harness import IDNO, INSTALL

INSTALL_DIR = r"C:\Widget"


class SignedKitTests(wk.KitCase):
    def test_the_signed_kit_installs_everything(self):
        wk.install_product(self.sc, INSTALL_DIR, wk.release("widget-2.0.exe"))
        kit = self.start_kit()
        kit.wait_dialog()
        kit.press(INSTALL)
        box = kit.message_box(timeout=30)
        self.assertEqual(box.text, wk.MSG_COMPLETED)
        kit.answer(IDNO)
        self.assertEqual(kit.wait_exit(), 0)
        self.assert_installed(INSTALL_DIR)
        self.assertEqual(self.sc.reg_value(wk.PRODUCT_KEY, "Version"), "2.1")


if __name__ == "__main__":
    harness.main()
