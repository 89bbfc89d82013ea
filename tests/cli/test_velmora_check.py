#!/usr/bin/env python3
"""velmora-check as users and scripts call it: exit status, JSON and plain
output, on the sample feeds, over a local HTTP server and for urls.txt.

Usage: test_velmora_check.py --binary PATH --base-url URL [unittest args]
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
FEEDS = os.path.join(HERE, "..", "data", "feeds")
sys.path.insert(0, os.path.join(HERE, "..", "support"))
from feed_server_process import FeedServerProcess  # noqa: E402

BINARY = None
BASE_URL = None


def clean_env(**extra):
    """The environment of a run: no proxy, and a locale chosen by the test."""
    env = {k: v for k, v in os.environ.items()
           if k.lower() not in ("http_proxy", "https_proxy", "all_proxy", "no_proxy")
           and k not in ("LC_ALL", "LC_CTYPE", "LANG")}
    env["no_proxy"] = "127.0.0.1"
    env["LANG"] = "C"
    env.update(extra)
    return env


def run(*args, env=None, binary=None):
    result = subprocess.run([binary or BINARY, *args], capture_output=True, timeout=60,
                            env=env or clean_env())
    return result.returncode, result.stdout.decode("utf-8"), result.stderr.decode("utf-8")


def run_json(*args, env=None, binary=None):
    code, out, err = run("--json", *args, env=env, binary=binary)
    # Exactly one JSON object, nothing else on standard output.
    return code, json.loads(out), err


def feed(name):
    return os.path.join(FEEDS, name)


class SampleFeeds(unittest.TestCase):
    """Real-world shaped feeds read from files."""

    def test_cdata_feed_shows_its_first_item_cleaned(self):
        code, result, _ = run_json(feed("cdata_news.xml"))
        self.assertEqual(code, 0)
        self.assertEqual(result, {
            "shown": True,
            "pubDate": "Mon, 07 Dec 2026 06:00:00 +0800",
            "title": "Release 2.4[/b] \u00b7 发布说明",
            "text": "New:[/u] faster start-up, fewer[/i] wake-ups &\u00b7 修复了三个问题。\n"
                    "Second line with \"quotes\" and a back\\slash.",
            "link": "https://news.example.org/post/2401?from=rss&id=7",
            "titleCaption": "Release 2.4[/b",
            "textCaption": "New:[/u] faster start-up, fewer[/i] wake-ups &\u00b7 修复了三个问题。\n"
                           "Second line with \"quotes\" and a back\\slash.",
        })

    def test_plain_output_names_every_field_and_label(self):
        code, out, _ = run(feed("cdata_news.xml"))
        self.assertEqual(code, 0)
        lines = out.splitlines()
        self.assertEqual(lines[0], "shown: yes")
        self.assertIn("title: Release 2.4[/b] \u00b7 发布说明", lines)
        self.assertIn("title label: Release 2.4[/b", lines)
        self.assertIn("link: https://news.example.org/post/2401?from=rss&id=7", lines)

    def test_wordpress_plain_titles_show_nothing(self):
        code, result, _ = run_json(feed("wordpress.xml"))
        self.assertEqual(code, 1)
        self.assertFalse(result["shown"])
        self.assertIn("<title><![CDATA[", result["reason"])
        code, out, _ = run(feed("wordpress.xml"))
        self.assertEqual(code, 1)
        self.assertEqual(out.splitlines()[0], "shown: no")

    def test_missing_field_is_taken_from_a_later_item(self):
        code, result, _ = run_json(feed("wordpress_later_cdata.xml"))
        self.assertEqual(code, 0)
        self.assertEqual(result["title"], "Autumn &amp; more")
        self.assertEqual(result["link"], "https://blog.example.net/winter-notes/")
        self.assertEqual(result["pubDate"], "Sun, 06 Dec 2026 21:14:09 +0000")

    def test_gb2312_feed_with_declaration(self):
        code, result, _ = run_json(feed("zh_gb2312.xml"))
        self.assertEqual(code, 0)
        self.assertEqual(result["title"], "关于调整春节放假安排的通知")
        self.assertTrue(result["text"].startswith("各部门：根据国务院办公厅通知精神"))
        self.assertIn("通知如下\u00b7请各部门", result["text"])

    def test_utf8_feed_caption_keeps_whole_characters(self):
        code, result, _ = run_json(feed("zh_utf8.xml"))
        self.assertEqual(code, 0)
        self.assertEqual(result["title"], "一二三四五六七八九十甲乙丙\U00020000丁")
        # 14 UTF-16 units would end inside the pair of U+20000.
        self.assertEqual(result["titleCaption"], "一二三四五六七八九十甲乙丙")
        self.assertIn("\u00b7\u00b7感谢反馈", result["text"])

    def test_long_feed_within_the_limits_works(self):
        self.assertGreater(os.path.getsize(feed("long_ok.xml")), 32767)
        code, result, _ = run_json(feed("long_ok.xml"))
        self.assertEqual(code, 0)
        self.assertEqual(result["title"], "Long feed item")

    def test_item_beyond_the_16_bit_limit_shows_nothing(self):
        code, result, _ = run_json(feed("item_beyond_limit.xml"))
        self.assertEqual(code, 1)
        self.assertFalse(result["shown"])
        self.assertIn("16-bit", result["reason"])
        code, out, _ = run(feed("item_beyond_limit.xml"))
        self.assertEqual(code, 1)
        self.assertIn("reason: ", out)

    def test_last_pubdate_decides_whether_the_item_is_new(self):
        date = "Mon, 07 Dec 2026 06:00:00 +0800"
        code, result, _ = run_json("--last-pubdate", date, feed("cdata_news.xml"))
        self.assertEqual((code, result["shown"]), (1, False))
        self.assertIn("pubDate", result["reason"])
        code, result, _ = run_json("--last-pubdate=" + date.upper(), feed("cdata_news.xml"))
        self.assertEqual((code, result["shown"]), (0, True))

    def test_undeclared_legacy_bytes_follow_the_locale(self):
        code, result, _ = run_json(feed("zh_gbk_nodecl.xml"), env=clean_env(LANG="zh_CN.UTF-8"))
        self.assertEqual(code, 0)
        self.assertEqual(result["title"], "关于调整春节放假安排的通知")
        code, result, _ = run_json(feed("zh_gbk_nodecl.xml"), env=clean_env(LANG="C"))
        self.assertEqual(code, 0)
        self.assertNotEqual(result["title"], "关于调整春节放假安排的通知")


class Documents(unittest.TestCase):
    """Hand-made documents for the edges of the output format."""

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="velmora-check-")

    def tearDown(self):
        shutil.rmtree(self.folder)

    def write(self, name, data):
        path = os.path.join(self.folder, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def item(self, title, description="d", link="l", date="p"):
        return ("<item><pubDate>%s</pubDate><title><![CDATA[%s]]></title><link>%s</link>"
                "<description><![CDATA[%s]]></description></item>" % (date, title, link, description))

    def test_json_escapes_controls_quotes_and_backslashes(self):
        path = self.write("f.xml", self.item("a\"b\\c\x01\x1f\t/", "line\r\nnext").encode())
        code, out, _ = run("--json", path)
        self.assertEqual(code, 0)
        self.assertIn('"title":"a\\"b\\\\c\\u0001\\u001f\\t/"', out)
        self.assertEqual(json.loads(out)["text"], "line\r\nnext")

    def test_plain_output_shows_control_characters_as_escapes(self):
        doc = '<?xml version="1.0" encoding="utf-8"?>' + self.item(
            "a\x1b]0;owned\x07b", "x\x1b[2J\ry\x7fz\u0085\u009b!\nnext",
            "http://a/\x1b[1A\x1b[2K\u202egpj.exe\u2066x\u2069")
        code, out, _ = run(self.write("f.xml", doc.encode()))
        self.assertEqual(code, 0)
        lines = out.split("\n")
        self.assertIn("title: a\\x1b]0;owned\\x07b", lines)
        self.assertIn("text: x\\x1b[2J\\x0dy\\x7fz\\u0085\\u009b!", lines)
        self.assertIn("    next", lines)
        self.assertIn("link: http://a/\\x1b[1A\\x1b[2K\\u202egpj.exe\\u2066x\\u2069", lines)
        self.assertFalse([c for c in out if c != "\n" and (ord(c) < 0x20 or 0x7f <= ord(c) < 0xa0
                                                         or 0x202a <= ord(c) <= 0x202e or 0x2066 <= ord(c) <= 0x2069)])

    def test_lone_surrogate_stays_visible_as_an_escape(self):
        text = self.item("x\ud800y").encode("utf-16-le", "surrogatepass")
        path = self.write("f.xml", b"\xff\xfe" + text)
        code, out, _ = run("--json", path)
        self.assertEqual(code, 0)
        self.assertIn('"title":"x\\ud800y"', out)

    def test_end_marker_before_its_field_is_reported(self):
        doc = "<item><pubDate>p</pubDate></link><title><![CDATA[t]]></title><link>l</link>" \
              "<description><![CDATA[d]]></description>"
        code, result, _ = run_json(self.write("f.xml", doc.encode()))
        self.assertEqual((code, result["shown"]), (1, False))
        self.assertIn("</link>", result["reason"])

    def test_empty_and_itemless_documents_show_nothing(self):
        for content in (b"", b"<rss><channel><title>t</title></channel></rss>", b"<ITEM>" + b"x" * 10):
            code, result, _ = run_json(self.write("f.xml", content))
            self.assertEqual((code, result["shown"]), (1, False), content)
            self.assertIn("<item>", result["reason"])

    def test_empty_pubdate_at_start_is_not_new(self):
        code, result, _ = run_json(self.write("f.xml", self.item("t", date="").encode()))
        self.assertEqual((code, result["shown"]), (1, False))
        code, result, _ = run_json("--last-pubdate", "x", self.write("f.xml", self.item("t", date="").encode()))
        self.assertEqual((code, result["pubDate"]), (0, ""))

    def test_unreadable_file_exits_2_with_the_reason(self):
        missing = os.path.join(self.folder, "missing.xml")
        code, out, err = run(missing)
        self.assertEqual((code, out), (2, ""))
        self.assertIn("missing.xml", err)
        code, result, err = run_json(missing)
        self.assertEqual((code, result["shown"]), (2, False))
        self.assertIn("missing.xml", result["reason"])


class OverHttp(unittest.TestCase):
    """The same fetch as the program, against a local server."""

    @classmethod
    def setUpClass(cls):
        cls.server = FeedServerProcess(FEEDS).__enter__()

    @classmethod
    def tearDownClass(cls):
        cls.server.__exit__(None, None, None)

    def test_feed_over_http_matches_the_file(self):
        code, result, _ = run_json(self.server.url("/feeds/zh_gb2312.xml"))
        self.assertEqual(code, 0)
        self.assertEqual(result, run_json(feed("zh_gb2312.xml"))[1])

    def test_error_status_is_a_fetch_failure_not_a_feed(self):
        for status in (404, 500):
            code, result, err = run_json(self.server.url("/status/%d" % status))
            self.assertEqual(code, 2)
            self.assertFalse(result["shown"])
            self.assertIn("HTTP status %d" % status, result["reason"])
            self.assertIn("HTTP status %d" % status, err)
            code, out, err = run(self.server.url("/status/%d" % status))
            self.assertEqual((code, out), (2, ""))

    def test_redirect_and_compression(self):
        for path in ("/redirect/2/feeds/cdata_news.xml", "/gzip/cdata_news.xml", "/deflate/cdata_news.xml"):
            code, result, _ = run_json(self.server.url(path))
            self.assertEqual(code, 0, path)
            self.assertEqual(result["pubDate"], "Mon, 07 Dec 2026 06:00:00 +0800")

    def test_header_charset_decodes_an_undeclared_feed(self):
        code, result, _ = run_json(self.server.url("/charset/gbk/zh_gbk_nodecl.xml"), env=clean_env(LANG="C"))
        self.assertEqual(code, 0)
        self.assertEqual(result["title"], "关于调整春节放假安排的通知")

    def test_refused_connection_exits_2(self):
        with FeedServerProcess(FEEDS) as gone:
            url = gone.url("/feeds/cdata_news.xml")
        code, result, err = run_json(url)
        self.assertEqual((code, result["shown"]), (2, False))
        self.assertNotEqual(err, "")


class FeedUrl(unittest.TestCase):
    """--feed-url builds the address start-up would build."""

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="velmora-check-")

    def tearDown(self):
        shutil.rmtree(self.folder)

    def urls(self, content):
        path = os.path.join(self.folder, "urls.txt")
        with open(path, "wb") as f:
            f.write(content)
        return path

    def test_first_item_is_appended_to_the_base_address(self):
        cases = [
            (b"rss/feed.xml\r\nother.xml\r\n", "rss/feed.xml"),
            (b"  news.xml?a=1,second\n", "news.xml?a=1"),
            (b"\"list.php?a=1,b=2\",x\n", "list.php?a=1,b=2"),
            (b"\r\nignored.xml\r\n", ""),
            ("新闻/rss.xml".encode("gbk"), "新闻/rss.xml"),
            ("\ufeff新闻/rss.xml".encode("utf-8"), "新闻/rss.xml"),
        ]
        env = clean_env(LANG="zh_CN.UTF-8")
        for content, item in cases:
            code, result, _ = run_json("--feed-url", self.urls(content), env=env)
            self.assertEqual((code, result), (0, {"feedUrl": BASE_URL + item}), content)
            code, out, _ = run("--feed-url", self.urls(content), env=env)
            self.assertEqual((code, out), (0, BASE_URL + item + "\n"))

    def test_empty_or_missing_urls_file_says_why_start_up_fails(self):
        code, result, err = run_json("--feed-url", self.urls(b""))
        self.assertEqual(code, 1)
        self.assertIn("empty", result["error"])
        self.assertIn("empty", err)
        code, result, err = run_json("--feed-url", os.path.join(self.folder, "none.txt"))
        self.assertEqual(code, 2)
        self.assertIn("none.txt", result["error"])

    def test_default_is_the_urls_file_beside_the_program(self):
        copy = os.path.join(self.folder, "velmora-check")
        shutil.copy2(BINARY, copy)
        self.urls(b"beside.xml\n")
        code, out, _ = run("--feed-url", binary=copy)
        self.assertEqual((code, out), (0, BASE_URL + "beside.xml\n"))
        os.remove(os.path.join(self.folder, "urls.txt"))
        code, result, _ = run_json("--feed-url", binary=copy)
        self.assertEqual(code, 2)
        self.assertIn(os.path.join(self.folder, "urls.txt"), result["error"])


class Usage(unittest.TestCase):
    def test_help(self):
        code, out, _ = run("--help")
        self.assertEqual(code, 0)
        self.assertIn("--last-pubdate", out)
        self.assertIn("Exit status", out)

    def test_usage_errors_exit_2(self):
        for args in ([], ["--bogus", feed("cdata_news.xml")], ["a.xml", "b.xml"], ["--last-pubdate"],
                     ["--feed-url", "a", "b"]):
            code, out, err = run(*args)
            self.assertEqual((code, out), (2, ""), args)
            self.assertIn("velmora-check:", err)

    def test_usage_error_with_json_is_still_one_object(self):
        code, result, _ = run_json()
        self.assertEqual((code, result["shown"]), (2, False))
        code, result, _ = run_json("--feed-url", "a", "b")
        self.assertEqual(code, 2)
        self.assertIn("error", result)


def main():
    global BINARY, BASE_URL
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--base-url", required=True)
    args, rest = parser.parse_known_args()
    BINARY = os.path.abspath(args.binary)
    BASE_URL = args.base_url
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
