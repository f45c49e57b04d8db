"""The reading of Wine's relay trace and of the driver's output, on lines as
Wine 8 and the driver print them. No Wine needed."""

import unittest

from harness import Script, parse_driver_output, parse_trace, derive, quote, to_bytes, to_text, unescape


def trace(*lines):
    return "\n".join(lines) + "\n"


class StringsInTheTrace(unittest.TestCase):
    def test_escapes_come_back_as_the_bytes_drawn(self):
        calls = parse_trace(trace(
            r'0024:Call gdi32.TextOutA(07010042,0000000a,00000014,140004000 "a\"b\\c\td\xb3\xe9",100000009) ret=14000157c',
            r'0024:Ret  gdi32.TextOutA() retval=00000001 ret=14000157c'))
        texts, _, _, _ = derive(calls)
        self.assertEqual(texts[0].raw, b'a"b\\c\td\xb3\xe9')
        self.assertEqual(texts[0].text, 'a"b\\c\td³é')
        self.assertTrue(texts[0].complete)
        self.assertEqual((texts[0].x, texts[0].y), (10, 20))

    def test_count_cuts_the_string_and_high_bits_of_integers_are_ignored(self):
        calls = parse_trace(trace(
            r'0024:Call gdi32.TextOutA(07010042,fffffffb,303030300000003c,14000400a "abcdef",303030300000003) ret=1'))
        t = derive(calls)[0][0]
        self.assertEqual((t.x, t.y, t.raw, t.complete), (-5, 60, b"abc", True))

    def test_strings_cut_by_wine_or_by_a_nul_are_flagged_incomplete(self):
        calls = parse_trace(trace(
            '0024:Call gdi32.TextOutA(1,0,0,2 "' + "\\xb3" * 73 + '"...,1000000c7) ret=1',
            '0024:Call gdi32.TextOutA(1,0,0,2 "AB",00000005) ret=1',
            '0024:Call gdi32.TextOutA(1,0,0,2 "' + "x" * 291 + '"...,00000100) ret=1'))
        long_high, nul, long_plain = derive(calls)[0]
        self.assertEqual((long_high.raw, long_high.count, long_high.complete), (b"\xb3" * 73, 199, False))
        self.assertEqual((nul.raw, nul.complete), (b"AB", False))
        self.assertEqual((long_plain.raw, long_plain.complete), (b"x" * 256, True))

    def test_null_pointers_and_wide_strings(self):
        calls = parse_trace(trace(
            r'0024:Call user32.MessageBoxA(00000000,140004028 "Texte\nligne",00000000,00000040) ret=1',
            r'0024:Call kernelbase.CreateFileW(0021f000 L"C:\\x",80000000,00000001,00000000,00000003,00000080,00000000) ret=1'))
        box = derive(calls)[1][0]
        self.assertEqual((box.owner, box.text, box.caption, box.icon), (0, "Texte\nligne", "", 0x40))
        self.assertEqual(calls[1].str(0), b"C:\\x")


class CallsAndReturns(unittest.TestCase):
    def test_returns_pair_with_their_calls_through_nesting(self):
        calls = parse_trace(trace(
            r'0024:Call user32.MessageBoxA(00010052,1 "Erreur",2 "LASTREC",00000000) ret=1',
            r'0024:Call user32.BeginPaint(00010052,0021f1d0) ret=1',
            r'0024:Ret  user32.BeginPaint() retval=1701005c ret=1',
            r'0024:Call kernel32.CreateFileA(1 "x",c0000000,00000003,00000000,00000003,00000080,00000000) ret=1',
            r'0028:Call kernel32.CreateFileA(1 "y",80000000,00000001,00000000,00000003,00000080,00000000) ret=1',
            r'0028:Ret  kernel32.CreateFileA() retval=00000060 ret=1',
            r'0024:Ret  kernel32.CreateFileA() retval=ffffffffffffffff ret=1',
            r'0024:Ret  user32.MessageBoxA() retval=00000001 ret=1'))
        _, boxes, opens, _ = derive(calls)
        self.assertEqual(boxes[0].result, 1)
        self.assertEqual(calls[1].retval, 0x1701005C)
        self.assertEqual([(o.path, o.ok, o.share) for o in opens], [("x", False, 3), ("y", True, 1)])

    def test_colour_follows_its_dc_and_a_new_paint_starts_black(self):
        calls = parse_trace(trace(
            r'0024:Call user32.BeginPaint(00010052,0021f1d0) ret=1',
            r'0024:Ret  user32.BeginPaint() retval=1701005c ret=1',
            r'0024:Call gdi32.SetTextColor(1701005c,000000ff) ret=1',
            r'0024:Call gdi32.SetTextColor(2201006a,00ff0000) ret=1',
            r'0024:Call gdi32.TextOutA(1701005c,0,0,1 "rouge",00000005) ret=1',
            r'0024:Call gdi32.TextOutA(2201006a,0,0,1 "bleu",00000004) ret=1',
            r'0024:Call user32.BeginPaint(00010052,0021f1d0) ret=1',
            r'0024:Ret  user32.BeginPaint() retval=1701005c ret=1',
            r'0024:Call gdi32.TextOutA(1701005c,0,0,1 "noir",00000004) ret=1'))
        texts = derive(calls)[0]
        self.assertEqual([(t.text, t.colour) for t in texts],
                         [("rouge", 0x0000FF), ("bleu", 0xFF0000), ("noir", 0)])

    def test_noise_of_other_channels_is_ignored(self):
        calls = parse_trace(trace(
            r'0024:Call PE DLL (proc=0000000170068C10,module=0000000170000000 L"ntdll.dll",reason=PROCESS_ATTACH,res=000000000021FB00)',
            r'0024:Call window proc 0000000140004BE0 (hwnd=0000000000010020,msg=WM_SIZE,wp=00000000,lp=03000400)',
            r'0024:trace:relay:load_list L"RelayFromInclude" = L"chkort.exe"',
            r'it looks like wine32 is missing, you should install it.',
            r'0024:Call user32.EnableMenuItem(0001004c,000000d5,00000001) ret=1'))
        self.assertEqual([c.name for c in calls], ["EnableMenuItem"])
        menu = derive(calls)[3][0]
        self.assertEqual((menu.item, menu.enabled), (0xD5, False))


class StepsAndMarks(unittest.TestCase):
    OUT = "\n".join([
        "driver acp=1252",
        'step 1 t=0 "start \\"Z:\\\\x\\\\standin.exe\\" c:\\\\ortavo"',
        "started pid=236",
        'step 2 t=5 "echo \\"avant\\""',
        'echo "avant"',
        'step 3 t=9 "box"',
        'box hwnd=0x1006c caption="Information" text="Op\\xe9ration\\x0a2" owner=main icon=yes buttons=1',
        'step 4 t=12 "echo apr\\xe8s"',
        'echo "apr\\xe8s"',
        'fail step=5 reason="timeout after 5000 ms waiting for a message box"',
        "killed pid=236"])

    def test_driver_events_carry_their_step_and_mark(self):
        events, marks = parse_driver_output(self.OUT)
        box = [e for e in events if e.kind == "box"][0]
        self.assertEqual((box.step, box.mark), (3, "avant"))
        self.assertEqual((box.caption, box.text, box.owner, box.icon), ("Information", "Opération\n2", "main", True))
        self.assertEqual(marks, {2: "avant", 4: "après"})
        self.assertEqual([e for e in events if e.kind == "fail"][0].reason,
                         "timeout after 5000 ms waiting for a message box")

    def test_trace_is_cut_by_the_driver_step_markers(self):
        _, marks = parse_driver_output(self.OUT)
        calls = parse_trace(trace(
            "e2e-step 1",
            r'0024:Call kernel32.CreateFileA(1 "a",80000000,1,0,3,80,0) ret=1',
            "e2e-step 2",
            "e2e-step 3",
            r'0024:Call kernel32.CreateFileA(1 "b",80000000,1,0,3,80,0) ret=1',
            "e2e-step 4",
            r'0024:Call kernel32.CreateFileA(1 "c",80000000,1,0,3,80,0) ret=1',
            "e2e-step end"), marks)
        self.assertEqual([(c.str(0), c.step, c.mark) for c in calls],
                         [(b"a", 1, None), (b"b", 3, "avant"), (b"c", 4, "après")])


class ScriptWords(unittest.TestCase):
    def test_any_windows_1252_text_survives_quoting(self):
        for text in ['Numéro du patient', 'a "b" \\ c', "\x81\x8d\xb3\t\n", "€"]:
            q = quote(text)
            self.assertTrue(q.isascii())
            self.assertEqual(unescape(q[1:-1]), to_bytes(text))
            self.assertEqual(to_text(unescape(q[1:-1])), text)

    def test_builder_writes_the_steps_the_driver_reads(self):
        s = Script().wait_window("CHKORT", "Utilitaire de ORTAVO").command(102) \
            .fill("Numéro", (1000, "12")).box(6).no_box(200).key("enter")
        self.assertEqual(s.lines, [
            'wait-window "CHKORT" "Utilitaire de ORTAVO"', "command 102", 'dialog "Num\\xe9ro"',
            'set 1000 "12"', "click 1", "wait-closed", "box 6", "no-box 200", 'key "enter"'])


if __name__ == "__main__":
    unittest.main()
