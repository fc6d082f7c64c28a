#!/usr/bin/env python3
"""Reads a generated report in headless Chromium as a reader would.

Usage: check_report.py QUERN_BINARY ARTEFACT_DIRECTORY

Builds a small tree whose directories differ in every column, writes its
report, opens index.html through a file URL and follows the heading link,
every column heading, a row link down and a trail link back up, checking
where each one leads and that the rows stand in the column's order. Then
changes the tree, writes a report compared with the first, and follows the
heading of the change of bytes, checking that the rows stand by growth with
the new and the removed directories marked. Saves screenshots of the
root's page and of its page by growth in the artefact directory.
"""

import os
import subprocess
import sys
import tempfile
from pathlib import Path

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

# name: sizes of its files, symbolic links, fifos, subdirectories. Every
# column puts the four in a different order, and none has ties.
TREE = {
    "alpha": ([1, 2, 3, 4], 3, 2, ["x"]),
    "Beta": ([5000, 1], 0, 0, ["x", "y", "z"]),
    "gamma": ([300, 300, 300], 1, 3, []),
    "delta": ([70000], 2, 1, ["x", "y"]),
}

# Column word of the overview table: the figure of a directory in TREE.
FIGURES = {
    "bytes": lambda files, links, fifos, subdirs: sum(files) + links,  # links hold one byte
    "subdir": lambda files, links, fifos, subdirs: len(subdirs),
    "files": lambda files, links, fifos, subdirs: len(files),
    "symlink": lambda files, links, fifos, subdirs: links,
    "other": lambda files, links, fifos, subdirs: fifos,
}


def make_tree(root):
    root.mkdir()
    for name, (files, links, fifos, subdirs) in TREE.items():
        directory = root / name
        directory.mkdir()
        for number, size in enumerate(files):
            (directory / f"file{number}").write_bytes(b"q" * size)
        for number in range(links):
            os.symlink("t", directory / f"link{number}")
        for number in range(fifos):
            os.mkfifo(directory / f"fifo{number}")
        for subdir in subdirs:
            (directory / subdir).mkdir()


def expected_order(word):
    if word == "name":
        return sorted(TREE, key=lambda name: name.encode())
    return sorted(TREE, key=lambda name: -FIGURES[word](*TREE[name]))


def browser():
    options = webdriver.ChromeOptions()
    real_binary = Path("/usr/lib/chromium/chromium")
    options.binary_location = str(real_binary if real_binary.exists() else "/usr/bin/chromium")
    profile = tempfile.mkdtemp(prefix="quern-browser-")
    for flag in ("--headless", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 f"--user-data-dir={profile}", "--window-size=1280,1024"):
        options.add_argument(flag)
    if os.geteuid() == 0:
        options.add_argument("--no-sandbox")
    driver = webdriver.Chrome(service=Service(executable_path="/usr/bin/chromedriver"), options=options)
    driver.set_page_load_timeout(30)
    return driver


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def overview(driver):
    """The heading cells and the body rows of the overview table."""
    rows = driver.find_elements(By.CSS_SELECTOR, "table.overviewtable tr")
    return rows[0].find_elements(By.TAG_NAME, "td"), rows[1:]


def column_of(word, headings):
    classes = [cell.get_attribute("class") for cell in headings]
    return classes.index("tdheadlist" + word)


def check_rows_in_order(driver, word):
    headings, rows = overview(driver)
    column = column_of(word, headings)
    check(not headings[column].find_elements(By.TAG_NAME, "a"),
          f"the heading of the page sorted by {word} is still a link")
    names = [row.find_elements(By.TAG_NAME, "td")[0].text for row in rows]
    check(names == expected_order(word), f"sorted by {word}: {names}, expected {expected_order(word)}")
    if word != "name":
        shown = [int(row.find_elements(By.TAG_NAME, "td")[column].text.replace(".", "")) for row in rows]
        figures = [FIGURES[word](*TREE[name]) for name in names]
        check(shown == figures, f"{word} figures {shown}, expected {figures}")


def click_heading(driver, word):
    headings, _ = overview(driver)
    headings[column_of(word, headings)].find_element(By.TAG_NAME, "a").click()


# name: bytes of its one file before and after; None where the directory
# is not there. Every change differs, so that the order has no ties.
CHANGES = {
    "grows": (100, 5000),
    "shrinks": (4000, 10),
    "same": (300, 300),
    "gone": (700, None),
    "fresh": (None, 2500),
}


def make_state(root, when):
    root.mkdir(exist_ok=True)
    for name, sizes in CHANGES.items():
        directory = root / name
        if sizes[when] is None:
            if directory.exists():
                (directory / "file").unlink()
                directory.rmdir()
            continue
        directory.mkdir(exist_ok=True)
        (directory / "file").write_bytes(b"q" * sizes[when])
    (root / "grows" / "sub").mkdir(exist_ok=True)


def growth_rows():
    """The rows of the page by growth as a reader sees them: name and mark,
    and the change of bytes."""
    def change(name):
        before, after = CHANGES[name]
        return (after or 0) - (before or 0)

    def shown(number):
        digits = f"{abs(number):,}".replace(",", ".")
        return digits if number == 0 else ("+" if number > 0 else "-") + digits

    marks = {"fresh": " neu", "gone": " entfernt"}
    ordered = sorted(CHANGES, key=lambda name: -change(name))
    return [(name + marks.get(name, ""), shown(change(name))) for name in ordered]


def check_comparison(driver, quern, scratch, artefacts):
    root, before, after = Path(scratch) / "changing", Path(scratch) / "before", Path(scratch) / "after"
    make_state(root, 0)
    subprocess.run([quern, "-o", before, "-r", root], check=True)
    make_state(root, 1)
    subprocess.run([quern, "--compare", before, "-o", after, "-r", root], check=True)

    driver.get((after / "index.html").as_uri())
    check("Änderungen seit dem Bericht vom" in driver.find_element(By.TAG_NAME, "body").text,
          "the entry page does not name the report compared with")
    driver.find_element(By.CSS_SELECTOR, "h1 a").click()
    root_page = driver.current_url
    click_heading(driver, "changebytes")
    check(driver.current_url.endswith("_sg.html"), f"the heading of changes led to {driver.current_url}")
    growth_page = driver.current_url
    headings, rows = overview(driver)
    column = column_of("changebytes", headings)
    check(not headings[column].find_elements(By.TAG_NAME, "a"), "the heading of the page by growth is still a link")
    shown = [(row.find_elements(By.TAG_NAME, "td")[0].text, row.find_elements(By.TAG_NAME, "td")[column].text)
             for row in rows]
    check(shown == growth_rows(), f"by growth: {shown}, expected {growth_rows()}")
    driver.save_screenshot(str(artefacts / "growth-page.png"))

    # Down a row link and back up the trail, staying sorted by growth.
    driver.find_element(By.LINK_TEXT, "grows").click()
    check(driver.find_element(By.TAG_NAME, "h1").text == f"{root}/grows", "row link on the page by growth")
    check(driver.current_url.endswith("_sg.html"), "the row link left the order by growth")
    driver.find_element(By.CSS_SELECTOR, "a.toplistlink").click()
    check(driver.current_url == growth_page, f"trail link led to {driver.current_url}")
    click_heading(driver, "name")
    check(driver.current_url == root_page, f"name heading led to {driver.current_url}")


def main():
    quern, artefacts = Path(sys.argv[1]).resolve(), Path(sys.argv[2]).resolve()
    artefacts.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory(prefix="quern-report-") as scratch:
        root, out = Path(scratch) / "tree", Path(scratch) / "report"
        make_tree(root)
        subprocess.run([quern, "-o", out, "-r", root], check=True)

        driver = browser()
        try:
            driver.get((out / "index.html").as_uri())
            check(driver.title == f"Quern - {root}", f"index title {driver.title!r}")
            background = driver.execute_script(
                "return getComputedStyle(document.body).backgroundColor")
            check(background == "rgb(240, 240, 240)", f"style sheet not applied: background {background}")

            driver.find_element(By.CSS_SELECTOR, "h1 a").click()
            check(driver.current_url.endswith("_sn.html"), f"heading led to {driver.current_url}")
            root_page = driver.current_url
            check(driver.find_element(By.TAG_NAME, "h1").text == str(root), "root page heading")
            check_rows_in_order(driver, "name")

            # Each heading leads to the same directory sorted by its column,
            # and the name heading back to the page sorted by name.
            for word in ("subdir", "bytes", "files", "symlink", "other"):
                click_heading(driver, word)
                check_rows_in_order(driver, word)
                click_heading(driver, "name")
                check(driver.current_url == root_page, f"name heading led to {driver.current_url}")

            driver.save_screenshot(str(artefacts / "root-page.png"))

            # Down a row link and back up the trail, in the same order.
            driver.find_element(By.LINK_TEXT, "Beta").click()
            check(driver.find_element(By.TAG_NAME, "h1").text == f"{root}/Beta", "row link")
            check(driver.current_url.endswith("_sn.html"), "row link changed the order")
            driver.find_element(By.CSS_SELECTOR, "a.toplistlink").click()
            check(driver.current_url == root_page, f"trail link led to {driver.current_url}")

            check_comparison(driver, quern, scratch, artefacts)
        finally:
            driver.quit()
    print(f"browser check passed; screenshots {artefacts / 'root-page.png'} and {artefacts / 'growth-page.png'}")


if __name__ == "__main__":
    main()
