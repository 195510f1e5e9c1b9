; SPDX-License-Identifier: MIT
; The installer's own texts in each of its languages; the pages' texts are
; the Modern UI's. Included after the languages are declared.
LangString AskService ${LANG_ENGLISH} "Install the Vigilsvc service, which keeps Vigilon running?"
LangString AskService ${LANG_JAPANESE} "Vigilon を動かし続ける Vigilsvc サービスをインストールしますか?"
LangString SectionPrograms ${LANG_ENGLISH} "Vigilon (the programs)"
LangString SectionPrograms ${LANG_JAPANESE} "Vigilon (プログラム)"
LangString SectionSettings ${LANG_ENGLISH} "Settings (the watched ports and their configuration)"
LangString SectionSettings ${LANG_JAPANESE} "設定 (監視するポートとその構成)"
