/* 10,000 notes with bodies of about 500 characters; 10 % armed (Alarm 2), 1 %
   running (Alarm 1). The armed alarms lie in the future, so the
   checker announces nothing while the program is measured.
   Run by bench/startup.sh and bench/ctl.sh with isql-fb -i. */
SET TERM ^ ;
EXECUTE BLOCK AS
  DECLARE i INTEGER = 0;
  DECLARE body VARCHAR(600);
BEGIN
  body = 'Remember to bring the quarterly figures to the meeting with the auditors; check the spreadsheet twice, update the budget columns, call the supplier about the delayed parcel, water the plants on the balcony, book the dentist for next Tuesday, renew the parking permit before it expires, reply to the letter from the bank, buy batteries, milk, bread and coffee, and finally write the summary for the team. Also ask about the new office chairs and confirm the train tickets for the coast. ';
  WHILE (i < 10000) DO BEGIN
    INSERT INTO NOTATKI (ID, Tytul, Tresc, DataGodzina, Alarm, AlarmRodzaj, AlarmData, AlarmGodzina)
    VALUES (:i + 1, 'Note number ' || :i, :body || :i,
            DATEADD(-:i MINUTE TO CAST('NOW' AS TIMESTAMP)),
            IIF(MOD(:i, 100) = 0, 1, IIF(MOD(:i, 10) = 5, 2, 0)), 0,
            DATEADD(30 + MOD(:i, 300) DAY TO CURRENT_DATE), TIME '09:30');
    i = i + 1;
  END
END^
SET TERM ; ^
SET GENERATOR GenNotka TO 10000;
COMMIT;
