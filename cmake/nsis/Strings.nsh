; SPDX-License-Identifier: MIT
; The installer's own texts in each of its languages; the pages' texts are
; the Modern UI's. Included after the languages are declared.
LangString AskService ${LANG_ENGLISH} "Install the Vigilsvc service, which keeps Vigilon running?"
LangString AskService ${LANG_JAPANESE} "Vigilon を動かし続ける Vigilsvc サービスをインストールしますか?"
LangString SectionPrograms ${LANG_ENGLISH} "Vigilon (the programs)"
LangString SectionPrograms ${LANG_JAPANESE} "Vigilon (プログラム)"
LangString SectionSettings ${LANG_ENGLISH} "Settings (the watched ports and their configuration)"
LangString SectionSettings ${LANG_JAPANESE} "設定 (監視するポートとその構成)"
LangString AskGrant ${LANG_ENGLISH} "Let every user at this computer's desktop change Vigilon's settings?$\r$\n$\r$\nVigilon then runs no alert command, as any user could choose the program that runs. Without it, only administrators can change the settings."
LangString AskGrant ${LANG_JAPANESE} "このコンピューターのデスクトップのすべてのユーザーが Vigilon の設定を変更できるようにしますか?$\r$\n$\r$\nその場合、どのユーザーでも実行するプログラムを選べるため、Vigilon は外部コマンドを実行しません。しない場合、設定を変更できるのは管理者だけです。"
LangString ProgramRunning ${LANG_ENGLISH} "$R9 is still running and cannot be replaced or removed. End every Vigilon (also in other users' sessions) and vigilon-reg, then run this again. Nothing was changed."
LangString ProgramRunning ${LANG_JAPANESE} "$R9 が実行中のため、置き換えも削除もできません。すべての Vigilon (ほかのユーザーのセッションのものも) と vigilon-reg を終了してから、もう一度実行してください。何も変更していません。"
