#!/usr/bin/env python3
"""Reads reports in headless Chromium as a reader would.

Usage: check_report.py ARTEFACT_DIRECTORY

Opens the expected reports of two cases (tests/cases) through file URLs:
from the entry page it follows the heading link, every column heading, a
row link down and a trail link back up, checking where each one leads and
that the rows stand in the column's order; on a report compared with an
earlier one, it follows the heading of the change of bytes and checks that
the rows stand by growth, the new and removed directories marked. On a report with pictures, it
holds every share bar against its share, parses every treemap as XML, opens
the root's treemap and follows a tile's link to its directory's page. Saves
screenshots of the pages in the artefact directory.
"""

import os
import sys
import tempfile
import xml.etree.ElementTree
from pathlib import Path

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

CASES = Path(__file__).resolve().parent.parent / "cases"


def browser():
    options = webdriver.ChromeOptions()
    real_binary = Path("/usr/lib/chromium/chromium")
    options.binary_location = str(real_binary if real_binary.exists() else "/usr/bin/chromium")
    for flag in ("--headless", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 f"--user-data-dir={tempfile.mkdtemp(prefix='quern-browser-')}", "--window-size=1280,1024"):
        options.add_argument(flag)
    if os.geteuid() == 0:
        options.add_argument("--no-sandbox")
    driver = webdriver.Chrome(service=Service(executable_path="/usr/bin/chromedriver"), options=options)
    driver.set_page_load_timeout(30)
    return driver


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def table(driver):
    """The heading cells' classes, and the body rows' texts, cell by cell."""
    rows = driver.find_elements(By.CSS_SELECTOR, "table.overviewtable tr")
    headings = [cell.get_attribute("class") for cell in rows[0].find_elements(By.TAG_NAME, "td")]
    return headings, [[cell.text for cell in row.find_elements(By.TAG_NAME, "td")] for row in rows[1:]]


def click_heading(driver, word):
    rows = driver.find_elements(By.CSS_SELECTOR, "table.overviewtable tr")
    for cell in rows[0].find_elements(By.TAG_NAME, "td"):
        if cell.get_attribute("class") == "tdheadlist" + word:
            cell.find_element(By.TAG_NAME, "a").click()
            return
    raise AssertionError(f"no heading {word}")


def figure(text):
    """A grouped figure, with its sign."""
    return int(text.replace(".", "").replace("+", "") or "0")


def check_sorted(driver, word):
    headings, rows = table(driver)
    column = headings.index("tdheadlist" + word)
    keys = [row[column] for row in rows]
    if word == "name":
        check(keys == sorted(keys, key=str.encode), f"sorted by name: {keys}")
    else:
        check([figure(key) for key in keys] == sorted((figure(key) for key in keys), reverse=True),
              f"sorted by {word}: {keys}")


def check_columns(driver, report, artefacts):
    driver.get((report / "index.html").as_uri())
    driver.find_element(By.CSS_SELECTOR, "h1 a").click()
    root_page = driver.current_url
    check(root_page.endswith("_sn.html"), f"the entry page led to {root_page}")
    for word in ("bytes", "subdir", "files", "symlink", "other", "name"):
        click_heading(driver, word)
        check_sorted(driver, word)
    driver.save_screenshot(str(artefacts / "root-page.png"))
    # Down a row link and back up the trail, staying in the same order.
    link = driver.find_element(By.CSS_SELECTOR, "td.tdlistname a")
    name = link.text
    link.click()
    check(driver.find_element(By.TAG_NAME, "h1").text.endswith("/" + name), f"row link to {name}")
    check(driver.current_url.endswith("_sn.html"), "the row link left the order by name")
    driver.find_element(By.CSS_SELECTOR, "a.toplistlink").click()
    check(driver.current_url == root_page, f"trail link led to {driver.current_url}")


def check_growth(driver, report, artefacts):
    driver.get((report / "index.html").as_uri())
    check("Änderungen seit dem Bericht vom" in driver.find_element(By.TAG_NAME, "body").text,
          "the entry page does not name the report compared with")
    driver.find_element(By.CSS_SELECTOR, "h1 a").click()
    click_heading(driver, "changebytes")
    check(driver.current_url.endswith("_sg.html"), f"the heading of changes led to {driver.current_url}")
    headings, rows = table(driver)
    column = headings.index("tdheadlistchangebytes")
    changes = [figure(row[column]) for row in rows]
    check(changes == sorted(changes, reverse=True), f"by growth: {changes}")
    names = [row[0] for row in rows]
    check(any(name.endswith(" neu") for name in names) and names[-1].endswith(" entfernt"),
          f"new and removed rows are not marked: {names}")
    driver.save_screenshot(str(artefacts / "growth-page.png"))


def check_pictures(driver, report, artefacts):
    driver.get((report / "index.html").as_uri())
    driver.find_element(By.CSS_SELECTOR, "h1 a").click()
    check(driver.find_elements(By.CSS_SELECTOR, "object[type='image/svg+xml']"), "no treemap on the root's page")
    cells = driver.find_elements(By.CSS_SELECTOR, "td.tdlistshare, td.tdownershare")
    check(cells, "no shares on the root's page")
    for cell in cells:
        text = cell.text.strip()
        bars = cell.find_elements(By.CSS_SELECTOR, "div.sharebar")
        if not bars:
            check(text == "\u2013", f"a share without a bar: {text}")
            continue
        share = 0.0 if text.startswith("<") else float(text.removesuffix(" %").replace(",", "."))
        whole = driver.execute_script("return arguments[0].clientWidth", bars[0])
        drawn = bars[0].find_element(By.CSS_SELECTOR, "div.sharefill").size["width"]
        check(abs(drawn - whole * share / 100) <= 1, f"a bar of {drawn} of {whole} pixels for {text}")
    driver.save_screenshot(str(artefacts / "pictures-page.png"))
    for picture in report.glob("*.svg"):
        xml.etree.ElementTree.parse(picture)
    driver.get((report / "d1.svg").as_uri())
    # The last tile drawn lies on top: a nested one, with a plain name.
    tile = [label for label in driver.find_elements(By.CSS_SELECTOR, "a text") if label.text.isalnum()][-1]
    link = tile.find_element(By.XPATH, "./ancestor::*[local-name()='a']")
    target = link.get_attribute("href") or link.get_attribute("xlink:href")
    name = tile.text
    tile.click()
    check(driver.current_url.endswith(target.rsplit("/", 1)[-1]), f"the tile led to {driver.current_url}")
    check(driver.find_element(By.TAG_NAME, "h1").text.endswith("/" + name), f"the tile of {name} led elsewhere")


def main():
    artefacts = Path(sys.argv[1]).resolve()
    artefacts.mkdir(parents=True, exist_ok=True)
    driver = browser()
    try:
        check_columns(driver, CASES / "listing-every-kind/expected/out", artefacts)
        check_growth(driver, CASES / "compare-a-week-later/expected/out", artefacts)
        check_pictures(driver, CASES / "pictures-from-a-listing/expected/out", artefacts)
    finally:
        driver.quit()
    print("browser check: every link leads where it should, every order holds and every bar is as long as its share")


if __name__ == "__main__":
    main()
